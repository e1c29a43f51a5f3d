#include "on_card.h"

#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/card/card.h"
#include "core/selftest/driven_outputs.h"

#include <algorithm>
#include <map>
#include <optional>
#include <thread>
#include <utility>

namespace cli {
namespace {

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
    DrivenOutputs outputs(card, setup.channels);
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
