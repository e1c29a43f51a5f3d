#include "plant_link.h"

#include "cli/plant/plant_schema.h"
#include "cli/plant/plant_store.h"

#include <utility>

namespace cli {

PlantLink::PlantLink(std::string db, Say say) : text_(std::move(db)), say_(std::move(say)) {}

bool PlantLink::connected() {
    if (db_ && db_->alive())
        return true;
    try {
        db_.emplace(text_);
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
    if (waiting.empty() || !connected())
        return stored;
    // An outage ends when a run is stored again, not when a connection is
    // made (a server may take connections and refuse every write).
    auto sort = [&](records::RecordedRun& run, bool kept) {
        if (away_)
            say_("PostgreSQL 回来了（" + db_->where() + "），补存收到的自检");
        away_ = false;
        (kept ? stored.kept : stored.different).push_back(std::move(run));
    };
    try {
        const std::vector<bool> kept = plant::storeRuns(*db_, waiting);
        for (std::size_t i = 0; i < waiting.size(); ++i)
            sort(waiting[i], kept[i]);
        waiting.clear();
        return stored;
    } catch (const plant::PgFailed& e) {
        if (!db_->alive() || !e.dataError()) {
            away(e.what());
            return stored;
        }
    }
    // Something in the batch the server will not take: one at a time, until
    // the database is away again.
    std::vector<records::RecordedRun> left;
    for (records::RecordedRun& run : waiting) {
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
    waiting = std::move(left);
    return stored;
}

} // namespace cli
