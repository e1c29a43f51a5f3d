#include "collector.h"

#include "cli/collect/inbox.h"
#include "cli/collect/plant_link.h"
#include "convert/printable.h"
#include "core/base/digest.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/base/log.h"
#include "core/mqtt/client.h"
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
            // The plant's store keeps no plan's steps yet: such a run is left
            // unconfirmed, so that its station sends it again, rather than
            // stored without them.
            else if (run.plan)
                skip("测试计划“" + run.plan->name +
                     "”的运行：工厂的库还不存计划的步骤，未存，"
                     "测试台会重发");
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
void confirm(mqtt::Client& broker, const std::string& prefix,
             const std::vector<records::RecordedRun>& kept) {
    std::map<std::string, nlohmann::json> byStation;
    for (const records::RecordedRun& run : kept)
        byStation[run.station].push_back(run.uuid);
    for (const auto& [station, uuids] : byStation)
        broker.publish(mqtt::topic(prefix, station, "stored"), uuids.dump());
}

// The service's loop, a step each: the broker's state said, messages taken,
// what is held stored and confirmed, the rate reported; then the stop.
class Collector {
public:
    Collector(const CollectSetup& setup, CollectLog& log, Stop& stop, PlantLink& store,
              Inbox& inbox, mqtt::Client& broker)
        : setup_(setup), prefix_(setup.broker.prefix), log_(log), stop_(stop), store_(store),
          inbox_(inbox), broker_(broker) {}

    void run() {
        for (;;) {
            sayBroker();
            const bool tookAny = takeMessages();
            if (!storeHeld()) { // the database away, or refusing writes for now
                if (stop_.asked())
                    return;
                pause(kRetryEvery);
                continue;
            }
            reportRate();
            if (stop_.asked() && ((!tookAny && held_.empty()) || stop_.late()))
                return;
        }
    }

    // After the loop: confirmations on their way go out, then nothing more
    // is taken from the broker (what it sends from here it keeps for the
    // session); what it handed over meanwhile is stored while the database
    // is there, its stations told when they send it again.
    void finish() {
        broker_.awaitAcknowledgements(kAcknowledgedWithin);
        broker_.stop();
        intake(inbox_.take(kMostWaiting, std::chrono::milliseconds(0)), prefix_, held_, log_);
        std::size_t late = 0;
        while (!held_.empty() && store_.up()) {
            const PlantLink::Stored done = store_.store(held_);
            late += done.kept.size();
            if (done.failed)
                break;
        }
        if (late)
            log_("停止前又存入 " + std::to_string(late) +
                 " 次自检（没能确认，测试台重发时再确认）");
        if (!held_.empty())
            log_(std::to_string(held_.size()) + " 次收到的自检没能存入：测试台会重发");
    }

private:
    // How long an idle loop waits for a message: how soon it notices a stop
    // or the broker's coming and going.
    static constexpr auto kIdleWait = std::chrono::milliseconds(200);
    // A database away or refusing writes is tried again this often (the log
    // says "每秒").
    static constexpr auto kRetryEvery = std::chrono::seconds(1);
    static constexpr auto kRateEvery = std::chrono::minutes(1);
    // A broker never reached is said after this long (before, a start-up's
    // first connection may still be on its way).
    static constexpr auto kBrokerMissingAfter = std::chrono::seconds(5);
    static constexpr auto kAcknowledgedWithin = std::chrono::seconds(2);

    // The broker's coming and going, each said once.
    void sayBroker() {
        if (broker_.connected() != brokerUp_) {
            brokerUp_ = !brokerUp_;
            log_(brokerUp_
                     ? "已连上代理 " + setup_.broker.text()
                     : "与代理断开（" + broker_.problem() + "）：每秒重连，其间的自检代理留着");
            brokerSaid_ = true;
        } else if (!brokerUp_ && !brokerSaid_ && Clock::now() - began_ > kBrokerMissingAfter) {
            const std::string why = broker_.problem();
            log_("连不上代理 " + setup_.broker.text() + (why.empty() ? "" : "（" + why + "）") +
                 "：每秒重连");
            brokerSaid_ = true;
        }
    }

    // Up to a batch held, waiting a moment only when nothing is; whether any
    // message came.
    bool takeMessages() {
        std::vector<Message> taken;
        if (held_.size() < setup_.batch) {
            const bool idle = held_.empty() && !stop_.asked();
            taken = inbox_.take(setup_.batch - held_.size(),
                                idle ? kIdleWait : std::chrono::milliseconds(0));
        }
        intake(taken, prefix_, held_, log_);
        sayDropped(inbox_.dropped(), log_);
        return !taken.empty();
    }

    // A batch of what is held stored and the stored confirmed; false where
    // the database failed it.
    bool storeHeld() {
        PlantLink::Stored done = store_.store(held_);
        confirmStored(done);
        return !done.failed;
    }

    void confirmStored(const PlantLink::Stored& done) {
        confirm(broker_, prefix_, done.kept);
        stored_ += static_cast<long>(done.kept.size());
        for (const records::RecordedRun& run : done.different)
            log_("测试台“" + run.station + "”的自检 " + run.uuid +
                 " 与库里同一标识的那次不同：未存入，也不确认");
    }

    void reportRate() {
        if (Clock::now() - lastReport_ <= kRateEvery || !stored_)
            return;
        log_("一分钟内存入 " + std::to_string(stored_) + " 次自检");
        stored_ = 0;
        lastReport_ = Clock::now();
    }

    const CollectSetup& setup_;
    const std::string prefix_;
    CollectLog& log_;
    Stop& stop_;
    PlantLink& store_;
    Inbox& inbox_;
    mqtt::Client& broker_;
    std::vector<records::RecordedRun> held_; // received, not yet stored
    bool brokerUp_ = false;
    bool brokerSaid_ = false; // its absence, where it was never there
    long stored_ = 0;         // since the last report
    const Clock::time_point began_ = Clock::now();
    Clock::time_point lastReport_ = Clock::now();
};

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
    store.ensureConnected();
    Inbox inbox(kMostWaiting, kMostWaitingBytes, records::kLargestRunMessage);
    const std::string prefix = setup.broker.prefix;
    mqtt::Subscription subscription;
    subscription.topics = {mqtt::topic(prefix, "+", "selftest")};
    subscription.onMessage = [&](const std::string& topic, const std::string& payload) {
        inbox.put(topic, payload);
    };
    subscription.persistentAs =
        setup.clientId.empty() ? defaultClientId(setup.broker, setup.db) : setup.clientId;
    mqtt::Client broker(setup.broker, subscription);
    log("开始：代理 " + setup.broker.text() + "，订阅 " + subscription.topics.front() + "（会话 " +
        subscription.persistentAs + "）");
    Collector collector(setup, log, stop, store, inbox, broker);
    collector.run();
    collector.finish();
    log("收到停止信号（" + signalName(stopSignal()) + "），停止");
    log.finish();
    Interrupted stopped(stopSignal());
    stopped.setSaid(); // its log's last line, in the log's form
    throw stopped;
}

} // namespace cli
