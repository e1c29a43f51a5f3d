#pragma once

#include "core/base/errors.h"

#include <map>
#include <optional>
#include <vector>

namespace cli {

class Card;

// Output channels a test drives, written a whole group at a time where it
// drives all eight of the group's lines, else line by line; only what changed
// after the first write. It keeps what it drove, so that it can set every one
// of them back to 0 however the test ends.
class DrivenOutputs {
public:
    // `channels` ascending, each once; kept by reference (the caller's).
    DrivenOutputs(Card& card, const std::vector<int>& channels);
    DrivenOutputs(const DrivenOutputs&) = delete;
    DrivenOutputs& operator=(const DrivenOutputs&) = delete;

    // `values[i]` on `channels[i]`.
    void drive(const std::vector<bool>& values);

    // Whether any write of the test reached the card (one that failed may have too).
    bool droveAny() const { return drove_; }

    // Every line back to 0, whatever was written before: a line (or group)
    // that fails does not keep the others from being reset, and is tried again
    // for a second, and at least three rounds whatever each costs (a link that
    // lost one answer is back at once), before it is named. Returns the
    // failure that names the channels not reset, and why, if any.
    std::optional<DriverCallFailed> reset();

private:
    Card& card_;
    bool drove_ = false;
    const std::vector<int>& channels_;
    std::map<int, int> perGroup_;
    std::map<int, bool> current_;
};

} // namespace cli
