#pragma once

#include "cli/watch/watcher.h"
#include "core/base/errors.h"
#include "core/mqtt/client.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// The watch's changes to "<prefix>/<station>/watch", one JSON message each
// with a sequence number counted from 1 for the run: a number that never
// arrives is a lost message, not a quiet line. While the broker cannot be
// reached the numbers go on and the changes are listed locally only; when it
// comes back, the numbers not published are said on the standard error.
class ChangeFeed {
public:
    ChangeFeed(const mqtt::BrokerUrl& broker, const std::string& station);

    void publish(const std::vector<Watcher::Change>& changes,
                 std::chrono::system_clock::time_point when);
    // At the end: waits a little for the broker's acknowledgements. Returns
    // what was not published, if anything.
    std::optional<PublishFailed> finish();

private:
    // Says on the standard error that the broker cannot be reached, and why.
    void tellAway() const;
    // Ends a gap in the publishing: counts its numbers, and returns how many.
    long closeGap(long last); // the gap up to `last` counted as not published

    mqtt::Client publisher_;
    std::string topic_;
    long sequence_ = 0;
    long unpublished_ = 0;
    std::optional<long> gapFrom_; // the first number of a gap still open
    bool gapLinkDown_ = false;    // whether it opened with the broker out of reach
};

} // namespace cli
