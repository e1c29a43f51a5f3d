#include "on_card.h"

#include "cli/card.h"
#include "cli/console.h"
#include "cli/errors.h"

#include <algorithm>
#include <map>

namespace cli {
namespace {

// The tested outputs, written a whole group at a time where the test drives
// all eight of its lines, else line by line; only what changed after the first.
class Outputs {
public:
    Outputs(Card& card, const std::vector<int>& channels) : card_(card), channels_(channels) {
        for (int channel : channels)
            ++perGroup_[(channel - 1) / 8];
    }
    // Ending early (Ctrl-C, a failed call): the lines go back to 0 all the same.
    // Should that fail too, the error that ended the test is the one reported.
    ~Outputs() {
        if (!finished_)
            try {
                finish();
            } catch (const std::exception&) {
            }
    }
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;

    void drive(const std::vector<bool>& values, bool all = false) {
        std::map<int, int> bytes;
        std::map<int, bool> changed;
        for (std::size_t i = 0; i < channels_.size(); ++i) {
            const int group = (channels_[i] - 1) / 8;
            bytes[group] |= values[i] ? 1 << (channels_[i] - 1) % 8 : 0;
            const auto known = current_.find(channels_[i]);
            const bool differs = all || known == current_.end() || known->second != values[i];
            changed[group] = changed[group] || differs;
            if (perGroup_[group] < 8 && differs)
                card_.writeBit(channels_[i], values[i]);
            current_[channels_[i]] = values[i];
        }
        for (const auto& [group, byte] : bytes)
            if (perGroup_[group] == 8 && changed[group])
                card_.writeByte(group, byte);
    }

    // Every tested line back to 0.
    void finish() {
        finished_ = true;
        drive(std::vector<bool>(channels_.size(), false), true);
    }

private:
    bool finished_ = false;
    Card& card_;
    const std::vector<int>& channels_;
    std::map<int, int> perGroup_;
    std::map<int, bool> current_;
};

void showProgress(int driven, int expected) {
    constexpr int kWidth = 24;
    const int filled = std::min(kWidth, driven * kWidth / std::max(1, expected));
    write(Stream::Err, "\r自检 [" + std::string(filled, '#') + std::string(kWidth - filled, '-') +
                           "] 已写 " + std::to_string(driven) + " 个图样");
}

} // namespace

selftest::Report selftestOnCard(Card& card, const SelftestSetup& setup) {
    const int words = setup.wiring.wordsFor(setup.channels);
    const int expected = 2 * selftest::codeBits(static_cast<int>(setup.channels.size()));
    Outputs outputs(card, setup.channels);
    int driven = 0;
    const selftest::Learned learned = selftest::learn(
        static_cast<int>(setup.channels.size()), [&](const std::vector<bool>& pattern) {
            outputs.drive(pattern);
            pause(setup.settle);
            if (interrupted())
                throw Interrupted();
            const std::vector<std::int16_t> read = card.readWords(words);
            std::vector<bool> reading;
            for (int channel : setup.channels) {
                const InputBit in = setup.wiring.input(channel);
                reading.push_back((read[in.word] >> in.bit & 1) != 0);
            }
            if (setup.progress)
                showProgress(++driven, expected);
            return reading;
        });
    outputs.finish();
    if (setup.progress)
        write(Stream::Err, "\r" + std::string(60, ' ') + "\r");
    return selftest::makeReport(setup.channels, learned);
}

} // namespace cli
