// The self-test's patterns, driver calls and wall time for 128, 64, 16 and 8
// lines: the adaptive codes, the constant-weight code words, the counting words
// with their complements, and walking ones and zeros, on the simulated card at 0
// and 10 ms settling and through the Modbus driver to dio-cli serve on
// loopback; then on faulty cables of 128 lines: every single fault, and random
// sets of shorted groups and of faults that share lines. Each row counts its
// patterns against the fewest any test can take to pass a sound cable,
// ceil(log2(lines + 2)).
#include "core/card/card.h"
#include "core/selftest/interconnect.h"
#include "core/selftest/on_card.h"
#include "driver/dlldef.h"
#include "own_card.h"
#include "simcard/faults.h"
#include "started_server.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>

namespace {

enum Method { kAdaptive, kConstantWeight, kCounting, kWalking };
constexpr cli::selftest::Codes kCodesOf[] = {cli::selftest::Codes::Adaptive,
                                             cli::selftest::Codes::ConstantWeight,
                                             cli::selftest::Codes::Counting};
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
    long calls = 0;
    for (auto _ : state) {
        const long before = card.calls();
        if (method == kWalking) {
            patterns = walkingOnesAndZeros(card, lines, settle);
        } else {
            cli::selftest::Trace driven;
            cli::SelftestSetup setup;
            setup.channels = firstChannels(lines);
            setup.settle = settle;
            setup.codes = kCodesOf[method];
            patterns = cli::selftestOnCard(card, setup, driven).patterns;
        }
        calls = card.calls() - before;
    }
    const int bound = cli::selftest::codeBits(lines);
    state.counters["patterns"] = patterns;
    state.counters["calls"] = static_cast<double>(calls);
    state.counters["bound"] = bound;
    state.counters["ratio"] = static_cast<double>(patterns) / bound;
}
BENCHMARK(BM_Selftest)
    ->ArgsProduct({{kSimulatedCard},
                   {kAdaptive, kConstantWeight, kCounting, kWalking},
                   {128, 64, 16, 8},
                   {0}})
    ->ArgsProduct({{kSimulatedCard},
                   {kAdaptive, kConstantWeight, kCounting, kWalking},
                   {128, 64, 16, 8},
                   {10}})
    ->ArgsProduct(
        {{kModbus}, {kAdaptive, kConstantWeight, kCounting, kWalking}, {128, 64, 16, 8}, {0}})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

enum Cables { kSingle, kShorts2, kShorts4, kShorts8, kSharing4 };

// Every single fault of 128 lines (each stuck at 0 or 1 or open, each pair
// shorted AND and OR, each pair crossed).
std::vector<std::string> singleFaults() {
    std::vector<std::string> faults;
    for (int c = 1; c <= 128; ++c) {
        for (const char* kind : {"stuck0=", "stuck1=", "open="})
            faults.push_back(kind + std::to_string(c));
        for (int d = c + 1; d <= 128; ++d)
            for (const char* kind : {"short-and=", "short-or=", "cross="})
                faults.push_back(kind + std::to_string(c) + "," + std::to_string(d));
    }
    return faults;
}

// 200 random cables (seeded): `groups` shorts of two or three lines each, AND or
// OR, on lines drawn apart; or `groups` faults of any kind whose lines may meet
// (a stuck line in a short, a crossed pair shorted), as far as the simulated
// card takes them.
std::vector<std::string> randomFaults(int groups, bool sharing) {
    std::mt19937 random(20261210 + groups);
    std::vector<std::string> cables;
    const char* kinds[] = {"short-and", "short-or", "stuck0", "stuck1", "open", "cross"};
    while (cables.size() < 200) {
        std::vector<int> lines(128);
        std::iota(lines.begin(), lines.end(), 1);
        std::shuffle(lines.begin(), lines.end(), random);
        std::string cable;
        for (int group = 0, next = 0; group < groups; ++group) {
            const std::string kind = kinds[random() % (sharing ? 6 : 2)];
            const int count = kind.rfind("short", 0) == 0 ? 2 + random() % 2
                              : kind == "cross"           ? 2
                                                          : 1;
            cable += kind + "=";
            for (int i = 0; i < count; ++i) // sharing: lines drawn from the first few
                cable += (i ? "," : "") +
                         std::to_string(lines[sharing ? random() % (2 * groups) : next++]);
            cable += ";";
        }
        std::string error;
        if (simcard::parseFaults(cable, error))
            cables.push_back(cable);
    }
    return cables;
}

// Arguments: method, cables. The most and the mean patterns and driver calls.
void BM_SelftestFaults(benchmark::State& state) {
    const auto method = static_cast<Method>(state.range(0));
    const auto set = static_cast<Cables>(state.range(1));
    static const std::vector<std::string> singles = singleFaults();
    const std::vector<std::string> cables =
        set == kSingle
            ? singles
            : randomFaults(set == kSharing4 ? 4 : 1 << (set - kShorts2 + 1), set == kSharing4);
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(SIMCARD_DIR)};
    cli::Card card{dll};
    int most = 0;
    long patterns = 0, calls = 0;
    for (auto _ : state)
        for (const std::string& cable : cables) {
            setenv("ADCARD_SIM_FAULTS", cable.c_str(), 1);
            const long before = card.calls();
            cli::selftest::Trace driven;
            cli::SelftestSetup setup;
            setup.channels = firstChannels(128);
            setup.settle = {};
            setup.codes = kCodesOf[method];
            const int taken = cli::selftestOnCard(card, setup, driven).patterns;
            most = std::max(most, taken);
            patterns += taken;
            calls += card.calls() - before;
        }
    unsetenv("ADCARD_SIM_FAULTS");
    state.counters["cables"] = static_cast<double>(cables.size());
    state.counters["most"] = most;
    state.counters["mean"] = static_cast<double>(patterns) / static_cast<double>(cables.size());
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(cables.size());
    state.counters["bound"] = cli::selftest::codeBits(128);
}
BENCHMARK(BM_SelftestFaults)
    ->ArgsProduct({{kAdaptive, kConstantWeight, kCounting},
                   {kSingle, kShorts2, kShorts4, kShorts8, kSharing4}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Every cable of `groups` shorted pairs on lines drawn apart, each pair AND or
// OR, on `lines` lines: the exact ceiling of the adaptive test for them (the
// card's model, no driver: a million cables take seconds).
void BM_EveryShortedPairs(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0)), groups = static_cast<int>(state.range(1));
    long cables = 0, patterns = 0;
    int most = 0;
    simcard::Faults faults;
    std::minstd_rand random;
    std::vector<bool> used(static_cast<std::size_t>(lines));
    auto probe = [&](const std::vector<bool>& pattern) {
        std::array<bool, simcard::kLines> outputs{};
        std::copy(pattern.begin(), pattern.end(), outputs.begin());
        const auto inputs = simcard::inputsFor(outputs, faults, random);
        return cli::selftest::Reading(std::vector<bool>(inputs.begin(), inputs.begin() + lines),
                                      std::vector<bool>(static_cast<std::size_t>(lines)));
    };
    // The next pair after those chosen: its first line past the last pair's first.
    std::function<void(int)> choose = [&](int from) {
        if (static_cast<int>(faults.shorts.size()) == groups) {
            for (int kinds = 0; kinds < 1 << groups; ++kinds) {
                for (int g = 0; g < groups; ++g)
                    faults.shorts[g].wiredAnd = (kinds >> g & 1) != 0;
                const int taken = cli::selftest::learn(lines, probe).patterns;
                most = std::max(most, taken);
                patterns += taken;
                ++cables;
            }
            return;
        }
        for (int a = from; a < lines; ++a) {
            if (used[a])
                continue;
            for (int b = a + 1; b < lines; ++b) {
                if (used[b])
                    continue;
                used[a] = used[b] = true;
                faults.shorts.push_back({true, {a, b}});
                choose(a + 1);
                faults.shorts.pop_back();
                used[a] = used[b] = false;
            }
        }
    };
    for (auto _ : state)
        choose(0);
    state.counters["cables"] = static_cast<double>(cables);
    state.counters["most"] = most;
    state.counters["mean"] = static_cast<double>(patterns) / static_cast<double>(cables);
    state.counters["bound"] = cli::selftest::codeBits(lines);
}
BENCHMARK(BM_EveryShortedPairs)
    ->Args({8, 2})
    ->Args({16, 2})
    ->Args({16, 3})
    ->Args({32, 2})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    const OwnCard card;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
