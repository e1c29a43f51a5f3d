#include "collector.h"

#include "cli/collect/inbox.h"
#include "cli/collect/plant_link.h"
#include "convert/printable.h"
#include "core/base/digest.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/base/log.h"
#include "core/mqtt/publisher.h"
#include "core/mqtt/topics.h"
#include "core/plant/postgres.h"
#include "core/records/run_message.h"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// More than this many messages, or bytes, waiting (a database away for long,
// the broker handing over its queue) and the newest are dropped: their
// stations send them again, as they do every run not confirmed.
constexpr std::size_t kMostWaiting = 100000;
constexpr std::size_t kMostWaitingBytes = std::size_t{128} << 20;
// At a stop, what the broker has handed over is stored for this long at
// most; what is left its stations send again.
constexpr auto kStopWithin = std::chrono::seconds(10);

// The stop's bound: from the first signal, this long for what the broker
// has handed over to be stored (asked in the loop and while a statement runs).
class Stop {
public:
    bool asked() {
        note();
        return by_.has_value();
    }
    bool late() {
        note();
        return by_ && Clock::now() >= *by_;
    }

private:
    void note() {
        if (!by_ && interrupted())
            by_ = Clock::now() + kStopWithin;
    }
    std::optional<Clock::time_point> by_;
};

// The collector's log on the standard error, which a reader that stalls
// never holds up (lines wait, then are counted). A log that cannot be
// written stops nothing: a reader that has gone ends the collector as
// SIGPIPE does.
class CollectLog {
public:
    void operator()(const std::string& text) {
        try {
            log_.say("dio-cli collect：" + convert::printable(text, false));
        } catch (const OutputFailed&) {
        }
    }
    void finish() { log_.finish(); }

private:
    Log log_;
};

// The runs the messages carry, each on its own station's topic under this
// prefix; anything else said and skipped.
void intake(const std::vector<Message>& messages, const std::string& prefix,
            std::vector<records::RecordedRun>& waiting, CollectLog& log) {
    for (const Message& m : messages) {
        auto skip = [&](const std::string& why) {
            log("跳过 " + m.topic + " 上的消息（" + std::to_string(m.payload.size()) + " 字节）：" +
                why);
        };
        const std::optional<std::string> station = mqtt::stationOf(m.topic, prefix, "selftest");
        if (!station) {
            skip("不是本收集程序的主题 " + mqtt::topic(prefix, "+", "selftest"));
            continue;
        }
        try {
            records::RecordedRun run = records::runFromMessage(m.payload);
            if (run.station != *station)
                skip("消息说是测试台“" + run.station + "”的自检，主题却是“" + *station + "”的");
            else
                waiting.push_back(std::move(run));
        } catch (const records::NotARun& e) {
            skip(e.what());
        }
    }
}

void sayDropped(const Inbox::Dropped& dropped, CollectLog& log) {
    if (dropped.full)
        log("待存的消息太多，丢下了 " + std::to_string(dropped.full) + " 条：测试台会重发");
    if (dropped.tooLarge)
        log("跳过 " + dropped.lastTopic + " 等处的 " + std::to_string(dropped.tooLarge) +
            " 条消息：大过任何一次自检（" + std::to_string(records::kLargestRunMessage) +
            " 字节）");
}

// Each station told which of its runs the store has.
void confirm(mqtt::Publisher& broker, const std::string& prefix,
             const std::vector<records::RecordedRun>& kept) {
    std::map<std::string, nlohmann::json> byStation;
    for (const records::RecordedRun& run : kept)
        byStation[run.station].push_back(run.uuid);
    for (const auto& [station, uuids] : byStation)
        broker.publish(mqtt::topic(prefix, station, "stored"), uuids.dump());
}

} // namespace

std::string defaultClientId(const mqtt::BrokerUrl& broker, const std::string& db) {
    return "dio-collect-" +
           digestOf(broker.prefix + '\n' + plant::connectionTarget(db)).substr(0, 8);
}

void collect(const CollectSetup& setup) {
    catchInterrupts();
    CollectLog log;
    // Another program's database is refused at the start, before the broker
    // hands over a run (or this session takes over another collector's).
    Stop stop;
    PlantLink store(
        setup.db, [&log](const std::string& text) { log(text); }, [&stop] { return stop.late(); });
    store.connected();
    Inbox inbox(kMostWaiting, kMostWaitingBytes, records::kLargestRunMessage);
    const std::string prefix = setup.broker.prefix;
    mqtt::Subscription subscription;
    subscription.topics = {mqtt::topic(prefix, "+", "selftest")};
    subscription.onMessage = [&](const std::string& topic, const std::string& payload) {
        inbox.put(topic, payload);
    };
    subscription.persistentAs =
        setup.clientId.empty() ? defaultClientId(setup.broker, setup.db) : setup.clientId;
    mqtt::Publisher broker(setup.broker, subscription);
    log("开始：代理 " + setup.broker.text() + "，订阅 " + subscription.topics.front() + "（会话 " +
        subscription.persistentAs + "）");
    std::vector<records::RecordedRun> waiting; // received, not yet stored
    bool brokerUp = false;
    long stored = 0;
    auto lastReport = Clock::now();
    // Stores a batch, the stored confirmed; whether the database failed it.
    auto keep = [&] {
        PlantLink::Stored done = store.store(waiting);
        confirm(broker, prefix, done.kept);
        stored += static_cast<long>(done.kept.size());
        for (const records::RecordedRun& run : done.different)
            log("测试台“" + run.station + "”的自检 " + run.uuid +
                " 与库里同一标识的那次不同：未存入，也不确认");
        return done.failed;
    };
    const auto began = Clock::now();
    bool brokerSaid = false; // its absence, where it was never there
    for (;;) {
        if (broker.connected() != brokerUp) {
            brokerUp = !brokerUp;
            log(brokerUp ? "已连上代理 " + setup.broker.text()
                         : "与代理断开（" + broker.problem() + "）：每秒重连，其间的自检代理留着");
            brokerSaid = true;
        } else if (!brokerUp && !brokerSaid && Clock::now() - began > std::chrono::seconds(5)) {
            const std::string why = broker.problem();
            log("连不上代理 " + setup.broker.text() + (why.empty() ? "" : "（" + why + "）") +
                "：每秒重连");
            brokerSaid = true;
        }
        std::vector<Message> taken;
        if (waiting.size() < setup.batch)
            taken =
                inbox.take(setup.batch - waiting.size(),
                           std::chrono::milliseconds(waiting.empty() && !stop.asked() ? 200 : 0));
        intake(taken, prefix, waiting, log);
        sayDropped(inbox.dropped(), log);
        if (keep()) { // the database away, or refusing writes for now
            if (stop.asked())
                break;
            pause(std::chrono::seconds(1));
            continue;
        }
        if (Clock::now() - lastReport > std::chrono::minutes(1) && stored) {
            log("一分钟内存入 " + std::to_string(stored) + " 次自检");
            stored = 0;
            lastReport = Clock::now();
        }
        if (stop.asked() && ((taken.empty() && waiting.empty()) || stop.late()))
            break;
    }
    // Confirmations on their way go out, then nothing more is taken from the
    // broker: what it sends from here it keeps for the session.
    broker.awaitAcknowledgements(std::chrono::seconds(2));
    broker.stop();
    // What it handed over meanwhile, stored while the database is there and
    // the time lasts; its stations are told when they send it again.
    intake(inbox.take(kMostWaiting, std::chrono::milliseconds(0)), prefix, waiting, log);
    std::size_t late = 0;
    while (!waiting.empty() && store.up()) {
        const PlantLink::Stored done = store.store(waiting);
        late += done.kept.size();
        if (done.failed)
            break;
    }
    if (late)
        log("停止前又存入 " + std::to_string(late) + " 次自检（没能确认，测试台重发时再确认）");
    if (!waiting.empty())
        log(std::to_string(waiting.size()) + " 次收到的自检没能存入：测试台会重发");
    log("收到停止信号（" + signalName(stopSignal()) + "），停止");
    log.finish();
    throw Interrupted(stopSignal());
}

} // namespace cli
