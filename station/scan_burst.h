#pragma once
// Telling a barcode scanner from a person at the keyboard: a scanner types a
// whole serial in one quick burst. One that ends its serial with Enter or a
// tab needs none of this; one that sends nothing after it is known by the
// burst and the pause that follows.

#include <chrono>

namespace station {

class ScanBurst {
public:
    using Clock = std::chrono::steady_clock;
    // A scanner's keys come closer than this; a person's hardly ever, four in a row.
    static constexpr std::chrono::milliseconds kKeyGap{35};
    static constexpr int kLeast = 4;
    // After the last key, a scanned serial is taken as whole.
    static constexpr std::chrono::milliseconds kPause{250};

    // A key typed into the serial box.
    void key(Clock::time_point at) {
        // Every key of the burst close to the one before: a scanner's.
        scanned_ = keys_ == 0 || (scanned_ && at - last_ <= kKeyGap);
        ++keys_;
        last_ = at;
    }
    // Whether what was typed so far came as a scanner types it.
    bool scanned() const { return scanned_ && keys_ >= kLeast; }
    void clear() { *this = ScanBurst(); }

private:
    int keys_ = 0;
    bool scanned_ = false;
    Clock::time_point last_{};
};

} // namespace station
