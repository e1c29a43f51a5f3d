#include "on_card.h"

#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/card/card.h"

#include <algorithm>
#include <map>
#include <optional>
#include <thread>
#include <utility>

namespace cli {
namespace {

constexpr auto kResetPatience = std::chrono::seconds(1);
constexpr int kResetRounds = 3;
constexpr auto kResetPause = std::chrono::milliseconds(100);

// The tested outputs, written a whole group at a time where the test drives
// all eight of its lines, else line by line; only what changed after the first.
class Outputs {
public:
    Outputs(Card& card, const std::vector<int>& channels) : card_(card), channels_(channels) {
        for (int channel : channels)
            ++perGroup_[card::groupOf(channel)];
    }
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;

    void drive(const std::vector<bool>& values) {
        std::map<int, int> bytes;
        std::map<int, bool> changed;
        for (std::size_t i = 0; i < channels_.size(); ++i) {
            const int group = card::groupOf(channels_[i]);
            bytes[group] |= values[i] ? 1 << card::bitOf(channels_[i]) : 0;
            const auto known = current_.find(channels_[i]);
            const bool differs = known == current_.end() || known->second != values[i];
            changed[group] = changed[group] || differs;
            if (perGroup_[group] < card::kLinesPerGroup && differs) {
                card_.writeBit(channels_[i], values[i]);
                drove_ = true;
            }
            current_[channels_[i]] = values[i];
        }
        for (const auto& [group, byte] : bytes)
            if (perGroup_[group] == card::kLinesPerGroup && changed[group]) {
                card_.writeByte(group, byte);
                drove_ = true;
            }
    }

    // Whether any write of the test reached the card (one that failed may have too).
    bool droveAny() const { return drove_; }

    // Every tested line back to 0, whatever was written before: a line (or
    // group) that fails does not keep the others from being reset, and is
    // tried again for a second, and at least three rounds whatever each costs
    // (a link that lost one answer is back at once), before it is named.
    // Returns the failure that names the channels not reset, and why, if any.
    std::optional<DriverCallFailed> reset() {
        struct Zero {
            int group; // or -1: the one channel
            std::vector<int> channels;
        };
        std::vector<Zero> pending;
        for (const auto& [group, count] : perGroup_)
            if (count == card::kLinesPerGroup)
                pending.push_back({group, groupChannels(group)});
        for (int channel : channels_)
            if (perGroup_[card::groupOf(channel)] < card::kLinesPerGroup)
                pending.push_back({-1, {channel}});
        const auto patience = std::chrono::steady_clock::now() + kResetPatience;
        std::string why;
        for (int round = 1; !pending.empty(); ++round) {
            std::vector<Zero> failed;
            auto tryZero = [&](const Zero& zero) {
                try {
                    if (zero.group >= 0)
                        card_.writeByte(zero.group, 0);
                    else
                        card_.writeBit(zero.channels.front(), 0);
                    return true;
                } catch (const DriverCallFailed& e) {
                    why = failed.empty() ? e.what() : why;
                    return false;
                }
            };
            for (const Zero& zero : pending) {
                if (tryZero(zero))
                    continue;
                if (zero.group < 0) {
                    failed.push_back(zero);
                    continue;
                }
                // One line that no longer answers fails its group's write:
                // the group's other lines are set back one by one.
                for (int channel : zero.channels)
                    if (!tryZero({-1, {channel}}))
                        failed.push_back({-1, {channel}});
            }
            pending = std::move(failed);
            if (round >= kResetRounds && std::chrono::steady_clock::now() >= patience)
                break;
            if (!pending.empty()) // not cut short by a signal: the reset is what it asked for
                std::this_thread::sleep_for(kResetPause);
        }
        if (pending.empty())
            return std::nullopt;
        std::vector<int> failed;
        for (const Zero& zero : pending)
            failed.insert(failed.end(), zero.channels.begin(), zero.channels.end());
        std::sort(failed.begin(), failed.end());
        return DriverCallFailed("通道 " + selftest::joined(failed) + " 未能复位为 0（" + why +
                                "）");
    }

private:
    std::vector<int> groupChannels(int group) const {
        std::vector<int> channels;
        for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
            channels.push_back(group * card::kLinesPerGroup + bit + 1);
        return channels;
    }

    Card& card_;
    bool drove_ = false;
    const std::vector<int>& channels_;
    std::map<int, int> perGroup_;
    std::map<int, bool> current_;
};

// The code patterns against how many there are, then the aimed ones as they come.
void showProgress(int driven, int expected) {
    constexpr int kWidth = 24;
    const int filled = std::min(kWidth, driven * kWidth / std::max(1, expected));
    const std::string aimed =
        driven > expected ? "，另加 " + std::to_string(driven - expected) + " 个针对性图样" : "";
    write(Stream::Err, "\r自检 [" + std::string(filled, '#') + std::string(kWidth - filled, '-') +
                           "] 已写 " + std::to_string(std::min(driven, expected)) + " 个图样" +
                           aimed);
}

void clearProgress() {
    write(Stream::Err, "\r" + std::string(80, ' ') + "\r");
}

} // namespace

selftest::Report selftestOnCard(Card& card, const SelftestSetup& setup, selftest::Trace& trace) {
    const int words = setup.wiring.wordsFor(setup.channels);
    const int expected =
        selftest::codePatterns(static_cast<int>(setup.channels.size()), setup.codes);
    Outputs outputs(card, setup.channels);
    auto readOnce = [&] {
        const std::vector<std::int16_t> read = card.readWords(words);
        std::vector<bool> reading;
        for (int channel : setup.channels) {
            const InputBit in = setup.wiring.input(channel);
            reading.push_back((read[in.word] >> in.bit & 1) != 0);
        }
        return reading;
    };
    // How often each input changed while its pattern stood still.
    std::vector<int> flickers(setup.channels.size());
    trace = {setup.codes, setup.reads, {}};
    selftest::Learned learned;
    try {
        learned = selftest::learn(
            static_cast<int>(setup.channels.size()),
            [&](const std::vector<bool>& pattern) {
                outputs.drive(pattern);
                // On the lines from here, also for a test stopped while it settles.
                trace.patterns.push_back({pattern, std::nullopt});
                const int driven = static_cast<int>(trace.patterns.size());
                pause(setup.settle, setup.cancel);
                if (interrupted())
                    throw Interrupted(stopSignal());
                if (setup.cancel && *setup.cancel)
                    throw Interrupted(0);
                std::vector<bool> reading = readOnce(), changed(reading.size());
                for (int again = 1; again < setup.reads; ++again) {
                    const std::vector<bool> repeated = readOnce();
                    for (std::size_t i = 0; i < reading.size(); ++i) {
                        flickers[i] += repeated[i] != reading[i];
                        changed[i] = changed[i] || repeated[i] != reading[i];
                    }
                }
                trace.patterns.back().read.emplace(std::move(reading), std::move(changed));
                if (setup.progress)
                    showProgress(driven, expected);
                if (setup.onPattern)
                    setup.onPattern(driven, expected);
                return *trace.patterns.back().read;
            },
            setup.codes);
    } catch (Failure& e) {
        // Ending early: the lines go back to 0 all the same, and the error
        // that ended the test says whether they did, on a line of its own.
        if (setup.progress)
            clearProgress();
        const std::optional<DriverCallFailed> notReset = outputs.reset();
        // Lines the test never drove are not said to be left driven by it
        // (another program may hold them, the device may not have opened).
        e.add(!notReset            ? "各通道已复位为 0"
              : outputs.droveAny() ? notReset->told()
                                   : "自检没有驱动过任何通道，" + notReset->told());
        throw;
    }
    if (setup.progress)
        clearProgress();
    selftest::Report report = selftest::makeReport(setup.channels, learned, flickers);
    if (const std::optional<DriverCallFailed> notReset = outputs.reset())
        throw TestedNotReset(*notReset, std::move(report));
    return report;
}

} // namespace cli
