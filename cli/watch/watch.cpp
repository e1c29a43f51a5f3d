#include "watch.h"

#include "cli/watch/change_feed.h"
#include "core/base/console.h"
#include "core/base/diagnostic.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/card/card.h"

#include <algorithm>

namespace cli {
namespace {

// The watch's polls: a driver that says why a call failed (a network link) is
// polled on through a failure, the time without readings reported as a gap;
// with the card's own driver a failure ends the watch.
class Polls {
public:
    Polls(Card& card, Watcher& watcher) : card_(card), watcher_(watcher) {}

    // One poll: what to print, or nothing while the inputs cannot be read.
    std::string poll() {
        const auto now = std::chrono::system_clock::now();
        std::vector<std::int16_t> words;
        try {
            words = card_.readWords(watcher_.words());
        } catch (const DriverCallFailed& e) {
            if (!card_.explainsFailures())
                throw;
            if (!lostSince_) {
                lostSince_ = now;
                lost_ = e.what();
                tell(lost_ + "；继续尝试");
            }
            return "";
        }
        std::string printed;
        if (lostSince_) {
            tell("又读到了输入");
            printed = watcher_.gap(*lostSince_, now);
            lostSince_.reset();
        }
        return printed + watcher_.take(words, now);
    }

    // At the end: a gap still open is reported, and ends the watch as failed.
    void finish() {
        if (!lostSince_)
            return;
        write(Stream::Out, watcher_.gap(*lostSince_, std::chrono::system_clock::now()));
        throw DriverCallFailed(lost_);
    }

private:
    Card& card_;
    Watcher& watcher_;
    std::optional<std::chrono::system_clock::time_point> lostSince_;
    std::string lost_;
};

} // namespace

void watch(Card& card, const WatchSetup& setup) {
    using Clock = std::chrono::steady_clock;
    Watcher watcher(setup.channels, setup.wiring, setup.format, setup.utc);
    card.requireInputWords(watcher.words(), "所监视的通道按接线表");
    catchInterrupts();
    // Connected (or given up on for now) before the watch's time starts.
    std::optional<ChangeFeed> feed;
    if (setup.mqtt)
        feed.emplace(*setup.mqtt, setup.station);
    const auto start = Clock::now();
    const auto deadline = setup.duration ? start + *setup.duration : Clock::time_point::max();
    auto stop = [&] { return interrupted() || outputGone() || Clock::now() >= deadline; };
    watcher.begin(std::chrono::system_clock::now());
    Polls polls(card, watcher);
    try {
        for (auto next = start + setup.interval;; next += setup.interval) {
            write(Stream::Out, polls.poll());
            if (feed)
                feed->publish(watcher.lastChanges(), std::chrono::system_clock::now());
            if ((setup.count > 0 && watcher.changes() >= setup.count) || stop())
                break;
            // Polls keep their rhythm (a slow read delays only the next); the
            // wait ends at the deadline, and a reader that has gone is noticed
            // at the next poll.
            pause(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max(std::min(next, deadline), Clock::now()) - Clock::now()));
            if (stop())
                break;
        }
        polls.finish();
    } catch (DriverCallFailed& e) {
        // What was seen until then is not lost with the card.
        try {
            write(Stream::Out, watcher.summary(std::chrono::system_clock::now()));
        } catch (const OutputFailed& failed) {
            e.add(failed.what());
        }
        throw;
    }
    write(Stream::Out, watcher.summary(std::chrono::system_clock::now()));
    const std::optional<PublishFailed> unpublished =
        feed ? feed->finish() : std::optional<PublishFailed>();
    if (interrupted()) {
        Interrupted stopped(stopSignal());
        stopped.add(unpublished);
        throw stopped;
    }
    if (unpublished)
        throw *unpublished;
}

} // namespace cli
