// dio-cli on the simulated card: the self-test's patterns and driver calls for
// 128 lines against walking ones and zeros, its time without settling, and the
// watch's cost per poll.
#include "cli/watch/watcher.h"
#include "core/card/card.h"
#include "core/selftest/on_card.h"
#include "driver/dlldef.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <numeric>

namespace {

std::vector<int> allChannels() {
    std::vector<int> channels(cli::kChannels);
    std::iota(channels.begin(), channels.end(), 1);
    return channels;
}

struct OnSimulatedCard {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(SIMCARD_DIR)};
    cli::Card card{dll};
};

// The usual test by hand: all zeros, all ones, then each line alone at 1 and
// alone at 0 (2N + 2 patterns), each written group by group where it changed
// and read back.
int walkingOnesAndZeros(cli::Card& card) {
    std::vector<int> current(16, -1);
    int patterns = 0;
    auto drive = [&](int line, bool alone) {
        for (int group = 0; group < 16; ++group) {
            int byte = alone ? 0 : 0xFF;
            if (line / 8 == group)
                byte ^= 1 << line % 8;
            if (byte != current[group])
                card.writeByte(group, current[group] = byte);
        }
        benchmark::DoNotOptimize(card.readWords(16));
        ++patterns;
    };
    drive(-1, true);
    drive(-1, false);
    for (bool alone : {true, false})
        for (int line = 0; line < cli::kChannels; ++line)
            drive(line, alone);
    for (int group = 0; group < 16; ++group)
        card.writeByte(group, 0);
    return patterns;
}

// A test's patterns and driver calls on the card, and its time.
template <typename Test> void measure(benchmark::State& state, Test test) {
    OnSimulatedCard on;
    const long before = on.card.calls();
    int patterns = 0;
    for (auto _ : state)
        patterns = test(on.card);
    state.counters["patterns"] = patterns;
    state.counters["calls"] = static_cast<double>(on.card.calls() - before) / state.iterations();
}

void BM_SelftestCodes(benchmark::State& state) {
    measure(state, [](cli::Card& card) {
        cli::selftest::Trace driven;
        cli::SelftestSetup setup;
        setup.channels = allChannels();
        setup.settle = {};
        return cli::selftestOnCard(card, setup, driven).patterns;
    });
}
BENCHMARK(BM_SelftestCodes)->Unit(benchmark::kMicrosecond);

void BM_SelftestWalkingOnesAndZeros(benchmark::State& state) {
    measure(state, walkingOnesAndZeros);
}
BENCHMARK(BM_SelftestWalkingOnesAndZeros)->Unit(benchmark::kMicrosecond);

// One poll of all 128 channels: the read and the comparison, nothing changing.
void BM_WatchPoll(benchmark::State& state) {
    OnSimulatedCard on;
    cli::Watcher watcher(allChannels(), cli::Wiring(), cli::WatchFormat::Text, false);
    const auto now = std::chrono::system_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(watcher.take(on.card.readWords(watcher.words()), now));
}
BENCHMARK(BM_WatchPoll);

} // namespace

int main(int argc, char** argv) {
    // A card of the benchmarks' own, not the user's.
#if defined(_WIN32)
    _putenv_s("ADCARD_SIM_NAME", "bench");
#else
    setenv("ADCARD_SIM_NAME", "bench", 1);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
