// Zan_DI and one self-test pattern (the 16 groups written, the inputs read
// twice) through a driver library: the simulated card's, or the one in
// BENCH_DRIVER_DIR, named BENCH_DRIVER_NAME. bench/run.sh runs the comedi and
// GPIO drivers under tests/emulated/emulated-device: what they measure there
// is the emulated device's round trip (a socket a call), not a card's.
#include "driver/dlldef.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

const char* folder() {
    const char* given = std::getenv("BENCH_DRIVER_DIR");
    return given ? given : SIMCARD_DIR;
}

void zanDI(benchmark::State& state) {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(folder())};
    for (auto _ : state)
        if (dll.Zan_DI(16, dll.diBuffer.data()) != 16)
            state.SkipWithError("Zan_DI failed");
}

void pattern(benchmark::State& state) {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(folder())};
    std::int16_t byte = 0x55;
    for (auto _ : state) {
        for (std::int16_t group = 0; group < 16; ++group)
            if (dll.Zan_DO(group, byte) != 0)
                state.SkipWithError("Zan_DO failed");
        for (int read = 0; read < 2; ++read)
            if (dll.Zan_DI(16, dll.diBuffer.data()) != 16)
                state.SkipWithError("Zan_DI failed");
        byte ^= 0xFF;
    }
}

} // namespace

int main(int argc, char** argv) {
    const char* named = std::getenv("BENCH_DRIVER_NAME");
    const std::string name = named ? named : "SimulatedCard";
    benchmark::RegisterBenchmark(("BM_ZanDI_" + name).c_str(), zanDI)->UseRealTime();
    benchmark::RegisterBenchmark(("BM_Pattern_" + name).c_str(), pattern)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
