// The panel's tick through the Modbus TCP driver on loopback (dio-cli serve on
// the simulated card behind it) against the tick on the simulated card itself,
// and ticks with the server gone: one that accepts and never answers, the
// worst case, where a tick may wait one request's timeout, at most once a
// second.
#include "driver/dlldef.h"
#include "own_card.h"
#include "panel/frm_multibuf.h"
#include "started_server.h"

#include <QApplication>
#include <QCheckBox>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

void ticks(benchmark::State& state, const char* folder) {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(folder)};
    panel::FrmMultiBuf frm{dll, {}};
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
    for (auto _ : state)
        frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer);
}

void BM_Tick_SimulatedCard(benchmark::State& state) {
    ticks(state, SIMCARD_DIR);
}
BENCHMARK(BM_Tick_SimulatedCard)->UseRealTime();

void BM_Tick_ModbusLoopback(benchmark::State& state) {
    const Started server({DIO_CLI, "serve", "--listen", "127.0.0.1:0"}, true);
    setenv("ADCARD_MODBUS", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    ticks(state, MODBUS_DIR);
}
BENCHMARK(BM_Tick_ModbusLoopback)->UseRealTime();

// Every tick timed: the longest is bounded by the request's timeout (100 ms).
void BM_Tick_ServerSilent(benchmark::State& state) {
    const int listening = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(listening, reinterpret_cast<sockaddr*>(&address), size);
    listen(listening, 16);
    getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size);
    setenv("ADCARD_MODBUS", ("127.0.0.1:" + std::to_string(ntohs(address.sin_port))).c_str(), 1);
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(MODBUS_DIR)};
    panel::FrmMultiBuf frm{dll, {}};
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
    double longest = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer);
        longest = std::max(longest, std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - start)
                                        .count());
    }
    state.counters["longest_ms"] = longest;
    close(listening);
}
BENCHMARK(BM_Tick_ServerSilent)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const OwnCard card;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
