#include "driven_outputs.h"

#include "core/card/card.h"
#include "core/selftest/report.h"
#include "driver/card_shape.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace cli {
namespace {

constexpr auto kResetPatience = std::chrono::seconds(1);
constexpr int kResetRounds = 3;
constexpr auto kResetPause = std::chrono::milliseconds(100);

// A group's eight channels.
std::vector<int> groupChannels(int group) {
    std::vector<int> channels;
    for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
        channels.push_back(group * card::kLinesPerGroup + bit + 1);
    return channels;
}

} // namespace

DrivenOutputs::DrivenOutputs(Card& card, const std::vector<int>& channels)
    : card_(card), channels_(channels) {
    for (int channel : channels)
        ++perGroup_[card::groupOf(channel)];
}

void DrivenOutputs::drive(const std::vector<bool>& values) {
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

std::optional<DriverCallFailed> DrivenOutputs::reset() {
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
    return DriverCallFailed("通道 " + selftest::joined(failed) + " 未能复位为 0（" + why + "）");
}

} // namespace cli
