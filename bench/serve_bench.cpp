// dio-cli serve: requests per second for "read 128 discrete inputs" with one
// client on loopback, against a minimal libmodbus server that answers from
// memory (modbus_memory_server), and against pymodbus's own server where
// PYMODBUS_PORT names one running (bench/run.sh starts it).
#include "own_card.h"
#include "started_server.h"

#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <cstdint>
#include <cstdlib>

namespace {

void readInputs(benchmark::State& state, int port, const Started* server = nullptr) {
    const double cpuBefore = server ? server->cpuSeconds() : 0;
    modbus_t* client = port > 0 ? modbus_new_tcp("127.0.0.1", port) : nullptr;
    if (!client || modbus_connect(client) != 0) {
        state.SkipWithError("no server to connect to");
        if (client)
            modbus_free(client);
        return;
    }
    std::uint8_t bits[128];
    for (auto _ : state)
        if (modbus_read_input_bits(client, 0, 128, bits) != 128)
            state.SkipWithError("a read failed");
    state.SetItemsProcessed(state.iterations());
    if (server) // the server's own CPU time a request
        state.counters["server_cpu_us"] =
            1e6 * (server->cpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
    modbus_close(client);
    modbus_free(client);
}

void BM_ReadInputs_DioCliServe(benchmark::State& state) {
    const Started server({DIO_CLI, "serve", "--listen", "127.0.0.1:0"}, true);
    readInputs(state, server.port(), &server);
}
BENCHMARK(BM_ReadInputs_DioCliServe)->UseRealTime()->MinTime(2);

void BM_ReadInputs_MemoryServer(benchmark::State& state) {
    const Started server({MEMORY_SERVER}, false);
    readInputs(state, server.port(), &server);
}
BENCHMARK(BM_ReadInputs_MemoryServer)->UseRealTime()->MinTime(2);

void BM_ReadInputs_Pymodbus(benchmark::State& state) {
    const char* port = std::getenv("PYMODBUS_PORT");
    readInputs(state, port ? std::atoi(port) : 0);
}
BENCHMARK(BM_ReadInputs_Pymodbus)->UseRealTime()->MinTime(2);

} // namespace

int main(int argc, char** argv) {
    const OwnCard card;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
