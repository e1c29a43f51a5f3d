// The self-test's patterns and wall time for 128, 64, 16 and 8 lines: the
// constant-weight code words, the counting words with their complements, and
// walking ones and zeros, on the simulated card at 0 and 10 ms settling and
// through the Modbus driver to dio-cli serve on loopback. Each row counts its
// patterns against the fewest any test can take (Sperner's bound).
#include "core/card/card.h"
#include "core/selftest/interconnect.h"
#include "core/selftest/on_card.h"
#include "driver/dlldef.h"
#include "own_card.h"
#include "started_server.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <numeric>
#include <thread>

namespace {

enum Method { kConstantWeight, kCounting, kWalking };
enum Through { kSimulatedCard, kModbus };

std::vector<int> firstChannels(int lines) {
    std::vector<int> channels(static_cast<std::size_t>(lines));
    std::iota(channels.begin(), channels.end(), 1);
    return channels;
}

// All zeros, all ones, then each line alone at 1 and alone at 0 (2N + 2
// patterns), written group by group where it changed, each read twice as the
// self-test reads it.
int walkingOnesAndZeros(cli::Card& card, int lines, std::chrono::milliseconds settle) {
    const int groups = (lines + 7) / 8;
    std::vector<int> current(groups, -1);
    int patterns = 0;
    auto drive = [&](int line, bool alone) {
        for (int group = 0; group < groups; ++group) {
            int byte = alone ? 0 : 0xFF;
            if (line / 8 == group)
                byte ^= 1 << line % 8;
            if (byte != current[group])
                card.writeByte(group, current[group] = byte);
        }
        std::this_thread::sleep_for(settle);
        for (int read = 0; read < 2; ++read)
            benchmark::DoNotOptimize(card.readWords(groups));
        ++patterns;
    };
    drive(-1, true);
    drive(-1, false);
    for (bool alone : {true, false})
        for (int line = 0; line < lines; ++line)
            drive(line, alone);
    for (int group = 0; group < groups; ++group)
        card.writeByte(group, 0);
    return patterns;
}

const char* driverFolder(Through through) {
    if (through == kSimulatedCard)
        return SIMCARD_DIR;
    // dio-cli serve on this process's simulated card, started once.
    static const Started server({DIO_CLI, "serve", "--listen", "127.0.0.1:0"}, true);
    setenv("ADCARD_MODBUS", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    return MODBUS_DIR;
}

// Arguments: through, method, lines, settling in ms.
void BM_Selftest(benchmark::State& state) {
    const auto through = static_cast<Through>(state.range(0));
    const auto method = static_cast<Method>(state.range(1));
    const int lines = static_cast<int>(state.range(2));
    const std::chrono::milliseconds settle(state.range(3));
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(driverFolder(through))};
    cli::Card card{dll};
    int patterns = 0;
    for (auto _ : state) {
        if (method == kWalking) {
            patterns = walkingOnesAndZeros(card, lines, settle);
        } else {
            int driven = 0;
            cli::SelftestSetup setup;
            setup.channels = firstChannels(lines);
            setup.settle = settle;
            setup.codes = method == kCounting ? cli::selftest::Codes::Counting
                                              : cli::selftest::Codes::ConstantWeight;
            patterns = cli::selftestOnCard(card, setup, driven).patterns;
        }
    }
    const int bound = cli::selftest::constantWeightBits(lines);
    state.counters["patterns"] = patterns;
    state.counters["bound"] = bound;
    state.counters["ratio"] = static_cast<double>(patterns) / bound;
}
BENCHMARK(BM_Selftest)
    ->ArgsProduct({{kSimulatedCard}, {kConstantWeight, kCounting, kWalking}, {128, 64, 16, 8}, {0}})
    ->ArgsProduct(
        {{kSimulatedCard}, {kConstantWeight, kCounting, kWalking}, {128, 64, 16, 8}, {10}})
    ->ArgsProduct({{kModbus}, {kConstantWeight, kCounting, kWalking}, {128, 64, 16, 8}, {0}})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const OwnCard card;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
