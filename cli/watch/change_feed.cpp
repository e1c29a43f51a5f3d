#include "change_feed.h"

#include "core/base/diagnostic.h"
#include "core/base/timestamp.h"
#include "core/mqtt/topics.h"

#include <nlohmann/json.hpp>

namespace cli {
namespace {

constexpr std::chrono::seconds kFirstConnection{3};

void tellMqtt(const std::string& text) {
    tell("MQTT：" + text);
}

} // namespace

ChangeFeed::ChangeFeed(const mqtt::BrokerUrl& broker, const std::string& station)
    : publisher_(broker), topic_(mqtt::topic(broker.prefix, station, "watch")) {
    gapLinkDown_ = !publisher_.waitConnected(kFirstConnection);
    if (gapLinkDown_)
        tellAway();
}

void ChangeFeed::publish(const std::vector<Watcher::Change>& changes,
                         std::chrono::system_clock::time_point when) {
    const std::string time = isoTimestamp(when, true);
    for (const Watcher::Change& change : changes) {
        ++sequence_;
        const std::string message = nlohmann::ordered_json{
            {"seq", sequence_},
            {"time", time},
            {"channel", change.channel},
            {"value",
             change.value ? 1 : 0}}.dump();
        if (!publisher_.publish(topic_, message)) {
            if (!gapFrom_) {
                gapFrom_ = sequence_;
                gapLinkDown_ = !publisher_.connected();
                tellAway();
            }
            continue;
        }
        // A gap ends with the first change published after it: said then, as
        // the link back or as the broker taking messages again.
        if (gapFrom_) {
            const long from = *gapFrom_, count = closeGap(sequence_ - 1);
            tellMqtt(
                (gapLinkDown_ ? "又连上了 " + publisher_.broker().text() + "，" : std::string()) +
                "其间序号 " + std::to_string(from) + " 到 " + std::to_string(sequence_ - 1) +
                " 的 " + std::to_string(count) + " 个变化未发布");
        }
    }
}

void ChangeFeed::tellAway() const {
    const std::string problem = publisher_.problem();
    tellMqtt(publisher_.broker().text() + " " + (problem.empty() ? "还没有连上代理" : problem) +
             (gapLinkDown_ ? "；变化照常列出，连上后再发布" : "；变化照常列出"));
}

long ChangeFeed::closeGap(long last) {
    const long count = gapFrom_ ? last - *gapFrom_ + 1 : 0;
    unpublished_ += count;
    gapFrom_.reset();
    return count;
}

std::optional<PublishFailed> ChangeFeed::finish() {
    closeGap(sequence_);
    const long unacknowledged = publisher_.awaitAcknowledgements(std::chrono::seconds(2));
    const long refused = publisher_.refused();
    if (unpublished_ == 0 && unacknowledged == 0 && refused == 0)
        return std::nullopt;
    return PublishFailed(
        "MQTT：" + std::to_string(sequence_) + " 个变化中 " + std::to_string(unpublished_) +
        " 个未发布、" + std::to_string(unacknowledged) + " 个代理未确认" +
        (refused ? "、" + std::to_string(refused) + " 个代理拒收（" + publisher_.problem() + "）"
                 : "") +
        "（" + publisher_.broker().text() + "）");
}

} // namespace cli
