#include "change_feed.h"

#include "cli/console.h"
#include "cli/mqtt/topics.h"
#include "cli/timestamp.h"

#include <nlohmann/json.hpp>

namespace cli::mqtt {
namespace {

constexpr std::chrono::seconds kFirstConnection{3};

void tell(const std::string& text) {
    write(Stream::Err,
          isoTimestamp(std::chrono::system_clock::now(), false) + "  MQTT：" + text + "\n");
}

} // namespace

ChangeFeed::ChangeFeed(const BrokerUrl& broker, const std::string& station)
    : publisher_(broker), topic_(topic(broker.prefix, station, "watch")) {
    if (!publisher_.waitConnected(kFirstConnection))
        tell(broker.text() + " " + why() + "；变化照常列出，连上后再发布");
}

void ChangeFeed::publish(const std::vector<Watcher::Change>& changes,
                         std::chrono::system_clock::time_point when) {
    const bool up = publisher_.connected();
    if (up && gapFrom_) {
        lost(*gapFrom_, sequence_);
        gapFrom_.reset();
    }
    const std::string time = isoTimestamp(when, true);
    for (const Watcher::Change& change : changes) {
        ++sequence_;
        const std::string message = nlohmann::ordered_json{
            {"seq", sequence_},
            {"time", time},
            {"channel", change.channel},
            {"value",
             change.value ? 1 : 0}}.dump();
        if (!publisher_.publish(topic_, message) && !gapFrom_) {
            gapFrom_ = sequence_;
            tell(publisher_.broker().text() + " " + why() + "；变化照常列出，连上后再发布");
        }
    }
}

std::string ChangeFeed::why() const {
    const std::string problem = publisher_.problem();
    return problem.empty() ? "还没有连上代理" : problem;
}

void ChangeFeed::lost(long from, long to) {
    if (to < from) {
        tell("又连上了 " + publisher_.broker().text());
        return;
    }
    unpublished_ += to - from + 1;
    tell("又连上了 " + publisher_.broker().text() + "，其间序号 " + std::to_string(from) + " 到 " +
         std::to_string(to) + " 的 " + std::to_string(to - from + 1) + " 个变化未发布");
}

std::string ChangeFeed::finish() {
    if (gapFrom_) {
        unpublished_ += sequence_ - *gapFrom_ + 1;
        gapFrom_.reset();
    }
    const long unacknowledged = publisher_.settle(std::chrono::seconds(2));
    if (unpublished_ == 0 && unacknowledged == 0)
        return "";
    return "MQTT：" + std::to_string(sequence_) + " 个变化中 " + std::to_string(unpublished_) +
           " 个未发布、" + std::to_string(unacknowledged) + " 个代理未确认（" +
           publisher_.broker().text() + "）";
}

} // namespace cli::mqtt
