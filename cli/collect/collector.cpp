#include "collector.h"

#include "cli/common/console.h"
#include "cli/common/errors.h"
#include "cli/common/interrupts.h"
#include "cli/common/timestamp.h"
#include "cli/mqtt/publisher.h"
#include "cli/mqtt/topics.h"
#include "cli/plant/plant_schema.h"
#include "cli/plant/plant_store.h"
#include "cli/plant/postgres.h"
#include "cli/records/run_message.h"
#include "convert/printable.h"

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

namespace cli {
namespace {

// More than this many messages waiting (a database away for long, the
// broker handing over its queue) and the newest are dropped: their stations
// send them again, as they do every run not confirmed.
constexpr std::size_t kMostWaiting = 100000;

void log(const std::string& text) {
    try {
        write(Stream::Err, isoTimestamp(std::chrono::system_clock::now(), false) +
                               " dio-cli collect：" + convert::printable(text, false) + "\n");
    } catch (const OutputFailed&) {
        // A log nobody reads stops nothing.
    }
}

struct Message {
    std::string topic, payload;
};

// What the broker's network thread hands over.
class Inbox {
public:
    void put(const std::string& topic, const std::string& payload) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (messages_.size() >= kMostWaiting) {
            ++dropped_;
            return;
        }
        messages_.push_back({topic, payload});
        arrived_.notify_one();
    }
    // Up to `most`, waiting up to `within` for the first.
    std::vector<Message> take(std::size_t most, std::chrono::milliseconds within) {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, within, [&] { return !messages_.empty(); });
        std::vector<Message> taken;
        while (!messages_.empty() && taken.size() < most) {
            taken.push_back(std::move(messages_.front()));
            messages_.pop_front();
        }
        return taken;
    }
    long dropped() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(dropped_, 0);
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Message> messages_;
    long dropped_ = 0;
};

// "<prefix>/<station>/selftest" → station.
std::string stationOf(const std::string& topic, const std::string& prefix) {
    std::string rest = prefix.empty() ? topic : topic.substr(prefix.size() + 1);
    return rest.substr(0, rest.rfind('/'));
}

// The database, connected where it can be, its absence and return said once.
class Store {
public:
    explicit Store(std::string db) : text_(std::move(db)) {}

    // Stores the runs; false (they are kept for the next try) while the
    // database is away. A run the database refuses alone is said and dropped.
    bool store(std::vector<records::RecordedRun>& runs) {
        if (!connected())
            return false;
        try {
            plant::storeRuns(*db_, runs);
            return true;
        } catch (const RecordFailed& e) {
            if (!db_->alive())
                return lost(e.what());
        }
        // Something in the batch the server would not take: one at a time.
        std::vector<records::RecordedRun> kept;
        for (records::RecordedRun& run : runs) {
            try {
                plant::storeRuns(*db_, {run});
                kept.push_back(std::move(run));
            } catch (const RecordFailed& e) {
                if (!db_->alive())
                    return lost(e.what());
                log("跳过测试台“" + run.station + "”的自检 " + run.uuid + "：" + e.what());
            }
        }
        runs = std::move(kept);
        return true;
    }

    // Connected (and its layout ready), or its absence said.
    bool connected() {
        if (db_ && db_->alive())
            return true;
        try {
            db_.emplace(text_);
        } catch (const RecordFailed& e) {
            return away(e.what());
        }
        try {
            // Another program's database, a newer layout: nothing to wait for.
            plant::preparePlantSchema(*db_);
            if (away_)
                log("PostgreSQL 回来了（" + db_->where() + "），补存收到的自检");
            else
                log("已连上 " + db_->where());
            away_ = false;
            return true;
        } catch (const RecordFailed& e) {
            if (db_->alive())
                throw;
            return away(e.what());
        }
    }
    bool away(const std::string& why) {
        db_.reset();
        if (!away_)
            log(why + "：收到的自检先留着，每秒重试");
        away_ = true;
        return false;
    }

private:
    bool lost(const std::string& why) {
        db_.reset();
        if (!away_)
            log("与 PostgreSQL 的连接断了（" + why + "）：收到的自检先留着，每秒重试");
        away_ = true;
        return false;
    }

    std::string text_;
    std::optional<plant::Postgres> db_;
    bool away_ = false;
};

} // namespace

void collect(const CollectSetup& setup) {
    catchInterrupts();
    // Another program's database is refused at the start, before the broker
    // hands over a run (or this session takes over another collector's).
    Store store(setup.db);
    store.connected();
    Inbox inbox;
    mqtt::Subscription subscription;
    subscription.topics = {mqtt::topic(setup.broker.prefix, "+", "selftest")};
    subscription.onMessage = [&](const std::string& topic, const std::string& payload) {
        inbox.put(topic, payload);
    };
    subscription.persistentAs = setup.clientId;
    mqtt::Publisher broker(setup.broker, subscription);
    log("开始：代理 " + setup.broker.text() + "，订阅 " + subscription.topics.front() + "（会话 " +
        setup.clientId + "）");
    std::vector<records::RecordedRun> held;          // received, not yet stored
    std::map<std::string, std::string> stationTopic; // a run's identity → its station's topic
    bool brokerUp = false;
    long stored = 0;
    auto lastReport = std::chrono::steady_clock::now();
    for (;;) {
        const bool stopping = interrupted();
        if (broker.connected() != brokerUp) {
            brokerUp = !brokerUp;
            log(brokerUp ? "已连上代理 " + setup.broker.text()
                         : "与代理断开（" + broker.problem() + "）：每秒重连，其间的自检代理留着");
        }
        // At a stop, what the broker handed over already is stored before the end.
        std::size_t took = 0;
        if (held.size() < setup.batch)
            for (Message& m :
                 inbox.take(setup.batch - held.size(),
                            std::chrono::milliseconds(held.empty() && !stopping ? 200 : 0))) {
                ++took;
                try {
                    records::RecordedRun run = records::runFromMessage(m.payload);
                    stationTopic[run.uuid] = stationOf(m.topic, setup.broker.prefix);
                    held.push_back(std::move(run));
                } catch (const records::NotARun& e) {
                    log("跳过 " + m.topic + " 上的消息（" + std::to_string(m.payload.size()) +
                        " 字节）：" + e.what());
                }
            }
        if (const long dropped = inbox.dropped())
            log("待存的消息太多，丢下了 " + std::to_string(dropped) + " 条：测试台会重发");
        if (!held.empty()) {
            if (!store.store(held)) {
                if (stopping)
                    break;
                pause(std::chrono::seconds(1));
                continue;
            }
            // Committed: each station told which of its runs the store has.
            std::map<std::string, nlohmann::json> confirmed;
            for (const records::RecordedRun& run : held)
                confirmed[stationTopic[run.uuid]].push_back(run.uuid);
            for (const auto& [station, uuids] : confirmed)
                broker.publish(mqtt::topic(setup.broker.prefix, station, "stored"), uuids.dump());
            stored += static_cast<long>(held.size());
            held.clear();
            stationTopic.clear();
        }
        if (std::chrono::steady_clock::now() - lastReport > std::chrono::minutes(1) && stored) {
            log("一分钟内存入 " + std::to_string(stored) + " 次自检");
            stored = 0;
            lastReport = std::chrono::steady_clock::now();
        }
        if (stopping && took == 0)
            break;
    }
    // Confirmations still on their way go out before the goodbye.
    broker.awaitAcknowledgements(std::chrono::seconds(2));
    log("收到停止信号（" + signalName(stopSignal()) + "），停止");
    throw Interrupted(stopSignal());
}

} // namespace cli
