#include "plant_link.h"

#include "core/plant/plant_schema.h"
#include "core/plant/plant_store.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace cli {

PlantLink::PlantLink(std::string db, Say say, std::function<bool()> late)
    : text_(std::move(db)), say_(std::move(say)), late_(std::move(late)) {}

bool PlantLink::ensureConnected() {
    if (db_ && db_->alive())
        return true;
    try {
        db_.emplace(text_, "dio-cli collect");
        db_->giveUpWhen(late_);
        plant::preparePlantSchema(*db_);
    } catch (const plant::PgFailed& e) {
        away(e.what());
        return false;
    } catch (const RecordFailed& e) {
        if (!db_)
            away(e.what()); // no connection made
        else
            throw; // another program's database, a newer layout
        return false;
    }
    if (!away_)
        say_("已连上 " + db_->where());
    return true;
}

void PlantLink::away(const std::string& why) {
    db_.reset();
    if (!away_)
        say_("PostgreSQL 存不进去（" + why + "）：收到的自检先留着，每秒重试");
    away_ = true;
}

PlantLink::Stored PlantLink::store(std::vector<records::RecordedRun>& waiting) {
    Stored stored;
    if (waiting.empty())
        return stored;
    if (late_() || !ensureConnected()) {
        stored.failed = true;
        return stored;
    }
    // A batch as large as last worked, or half what failed last.
    const auto size = static_cast<std::ptrdiff_t>(std::min(limit_, waiting.size()));
    std::vector<records::RecordedRun> batch(std::make_move_iterator(waiting.begin()),
                                            std::make_move_iterator(waiting.begin() + size));
    waiting.erase(waiting.begin(), waiting.begin() + size);
    std::vector<records::RecordedRun> left = storeBatch(batch, stored);
    stored.failed = !left.empty();
    waiting.insert(waiting.begin(), std::make_move_iterator(left.begin()),
                   std::make_move_iterator(left.end()));
    return stored;
}

std::vector<records::RecordedRun> PlantLink::storeBatch(std::vector<records::RecordedRun>& batch,
                                                        Stored& stored) {
    // An outage ends when a run is stored again, not when a connection is
    // made (a server may take connections and refuse every write).
    auto sort = [&](records::RecordedRun& run, bool kept) {
        if (away_)
            say_("PostgreSQL 回来了（" + db_->where() + "），补存收到的自检");
        away_ = false;
        (kept ? stored.kept : stored.different).push_back(std::move(run));
    };
    try {
        const std::vector<bool> kept = plant::storeRuns(*db_, batch);
        for (std::size_t i = 0; i < batch.size(); ++i)
            sort(batch[i], kept[i]);
        limit_ = std::max(limit_, 2 * batch.size());
        return {};
    } catch (const plant::PgFailed& e) {
        if (!db_->alive() || !e.dataError()) {
            // A batch too large for the server's limits (its statement
            // timeout, its memory) is tried in halves; the others wait.
            if (db_->alive() && batch.size() > 1)
                limit_ = batch.size() / 2;
            away(e.what());
            return std::move(batch);
        }
    }
    // Something in the batch the server will not take: one at a time, until
    // the database is away again.
    std::vector<records::RecordedRun> left;
    for (records::RecordedRun& run : batch) {
        if (!db_) {
            left.push_back(std::move(run));
            continue;
        }
        try {
            sort(run, plant::storeRuns(*db_, {run}).front());
        } catch (const plant::PgFailed& e) {
            if (!db_->alive() || !e.dataError()) {
                away(e.what());
                left.push_back(std::move(run));
            } else {
                say_("跳过测试台“" + run.station + "”的自检 " + run.uuid + "：" + e.what());
            }
        }
    }
    return left;
}

} // namespace cli
