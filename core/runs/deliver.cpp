#include "deliver.h"

#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/base/timestamp.h"
#include "core/mqtt/client.h"
#include "core/mqtt/topics.h"
#include "core/records/run_message.h"
#include "core/records/store.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <set>

namespace cli {
namespace {

constexpr std::size_t kBatch = 1000;

// The identities the collector confirms, as they come on the network thread.
struct Confirmations {
    std::mutex mutex;
    std::condition_variable came;
    std::set<std::string> uuids;

    void take(const std::string& payload) {
        const nlohmann::json list = nlohmann::json::parse(payload, nullptr, false);
        if (!list.is_array())
            return; // not the collector's: nothing confirmed by it
        std::lock_guard<std::mutex> lock(mutex);
        for (const nlohmann::json& uuid : list)
            if (uuid.is_string())
                uuids.insert(uuid.get<std::string>());
        came.notify_all();
    }

    // Waits up to `within` for all of them; those of them that came (what
    // else is said of runs not sent now is not believed).
    std::vector<std::string> await(const std::vector<std::string>& wanted,
                                   std::chrono::milliseconds within) {
        std::unique_lock<std::mutex> lock(mutex);
        auto arrived = [&](const std::string& u) { return uuids.count(u) != 0; };
        came.wait_for(lock, within,
                      [&] { return std::all_of(wanted.begin(), wanted.end(), arrived); });
        std::vector<std::string> confirmed;
        std::copy_if(wanted.begin(), wanted.end(), std::back_inserter(confirmed), arrived);
        return confirmed;
    }
};

std::string now() {
    return isoTimestamp(std::chrono::system_clock::now(), true);
}

} // namespace

Delivery deliverPending(const DeliverySetup& setup) {
    std::optional<std::string> sentBefore;
    if (setup.resendAfter)
        sentBefore = isoTimestamp(std::chrono::system_clock::now() - *setup.resendAfter, true);
    std::vector<records::RecordedRun> runs = records::undelivered(setup.db, kBatch, sentBefore);
    Delivery delivery;
    auto countLeft = [&] { delivery.left = records::countUndelivered(setup.db); };
    // A run kept under a name no topic can carry (kept without --mqtt) is
    // left undelivered, and listed as such.
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [&](const records::RecordedRun& run) {
                                  try {
                                      mqtt::checkTopics(setup.broker.prefix, run.station);
                                      return false;
                                  } catch (const UsageError&) {
                                      return true;
                                  }
                              }),
               runs.end());
    if (runs.empty()) {
        countLeft();
        return delivery;
    }
    std::set<std::string> stations;
    for (const records::RecordedRun& run : runs)
        stations.insert(run.station);
    Confirmations confirmations;
    mqtt::Subscription subscription;
    for (const std::string& station : stations)
        subscription.topics.push_back(mqtt::topic(setup.broker.prefix, station, "stored"));
    subscription.onMessage = [&](const std::string&, const std::string& payload) {
        confirmations.take(payload);
    };
    // The collector never retains; a retained confirmation is someone else's.
    subscription.ignoreRetained = true;
    mqtt::Client publisher(setup.broker, subscription);
    publisher.cancelWith(setup.cancel);
    auto failed = [&](const std::string& why) {
        return PublishFailed("MQTT：未能把记录发到 " + setup.broker.text() + "：" + why);
    };
    if (!publisher.waitConnected(setup.connect)) {
        if (interrupted())
            throw failed("已中断（" + signalName(stopSignal()) + "），没等连上代理");
        const std::string why = publisher.problem();
        throw failed(why.empty() ? std::to_string(setup.connect.count()) + " ms 内没有连上代理"
                                 : why);
    }
    // Subscribed before the first is sent: no confirmation comes unheard.
    std::vector<std::string> sent;
    for (const records::RecordedRun& run : runs) {
        if (!publisher.publish(mqtt::topic(setup.broker.prefix, run.station, "selftest"),
                               records::runMessage(run)))
            break;
        sent.push_back(run.uuid);
    }
    const long due = publisher.awaitAcknowledgements(setup.connect);
    if (due != 0 && interrupted())
        throw failed("已中断（" + signalName(stopSignal()) + "），没等代理确认");
    if (due != 0 || sent.size() < runs.size())
        throw failed(publisher.problem().empty() ? "代理没有确认收到" : publisher.problem());
    if (publisher.refused() > 0)
        throw failed(publisher.problem());
    records::markSent(setup.db, sent, now());
    delivery.sent = static_cast<long>(sent.size());
    delivery.confirmed =
        records::markDelivered(setup.db, confirmations.await(sent, setup.confirm), now());
    countLeft();
    return delivery;
}

Delivery deliverAllPending(const DeliverySetup& setup) {
    Delivery total;
    for (;;) {
        const Delivery batch = deliverPending(setup);
        total.sent += batch.sent;
        total.confirmed += batch.confirmed;
        total.left = batch.left;
        if (batch.left == 0 || batch.confirmed == 0 || interrupted())
            return total;
    }
}

} // namespace cli
