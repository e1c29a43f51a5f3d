// The station's window while a 128-line self-test runs at 50 ms settling on
// the simulated card: how late the window's event loop answers (a probe
// posted every 2 ms, against the same probe with the window idle), and how
// long after the test's end the verdict is painted.
#include "core/card/card.h"
#include "driver/dlldef.h"
#include "own_card.h"
#include "station/selftest_job.h"
#include "station/station_window.h"
#include "station/verdict_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Station {
    OwnCard own;
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(SIMCARD_DIR)};
    cli::Card card{dll};
    QTemporaryDir folder;
    std::unique_ptr<station::StationWindow> window;
    Station() {
        station::StationSettings settings;
        settings.setup.channels = cli::parseChannels("1-128");
        settings.setup.settle = std::chrono::milliseconds(50);
        settings.output.who = {"", "DIO-128", "bench", "bench"};
        settings.output.record = true;
        settings.output.db = (folder.path() + "/results.sqlite").toStdString();
        window = std::make_unique<station::StationWindow>(card, settings);
        window->show();
        QCoreApplication::processEvents();
    }
};
Station* current = nullptr;

// A timer due every 2 ms: how much later than due each tick comes (a busy
// or blocked window thread delays it), until `done` says so or 20 s pass.
std::vector<double> probeLateness(const std::function<bool()>& done) {
    constexpr auto kEvery = std::chrono::milliseconds(2);
    std::vector<double> late;
    QEventLoop loop;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    const auto began = Clock::now();
    auto last = began;
    QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        late.push_back(
            std::max(0.0, std::chrono::duration<double, std::milli>(now - last - kEvery).count()));
        last = now;
        if (done() || now - began > std::chrono::seconds(20))
            loop.quit();
    });
    probe.start(kEvery);
    loop.exec();
    return late;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

void report(benchmark::State& state, const std::vector<double>& late) {
    state.counters["p99_ms"] = percentile(late, 0.99);
    state.counters["max_ms"] = percentile(late, 1.0);
    state.counters["probes"] = static_cast<double>(late.size());
}

void BM_EventLoop_Idle(benchmark::State& state) {
    for (auto _ : state) {
        const auto end = Clock::now() + std::chrono::milliseconds(700);
        report(state, probeLateness([&] { return Clock::now() >= end; }));
    }
}
BENCHMARK(BM_EventLoop_Idle)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_EventLoop_WhileTesting(benchmark::State& state) {
    station::StationWindow& window = *current->window;
    auto* verdict = window.findChild<station::VerdictView*>("verdict");
    double verdictMs = 0;
    for (auto _ : state) {
        Clock::time_point painted{};
        const auto connection = QObject::connect(verdict, &station::VerdictView::painted, [&] {
            if (verdict->state() == station::VerdictView::State::Pass &&
                painted == Clock::time_point{})
                painted = Clock::now();
        });
        window.findChild<QLineEdit*>("serial")->setText("SN-BENCH");
        window.startTest();
        report(state, probeLateness([&] { return painted != Clock::time_point{}; }));
        verdictMs =
            std::chrono::duration<double, std::milli>(painted - window.job().outcome().ended)
                .count();
        QObject::disconnect(connection);
    }
    state.counters["verdict_ms"] = verdictMs;
}
BENCHMARK(BM_EventLoop_WhileTesting)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    Station station;
    current = &station;
    benchmark::RunSpecifiedBenchmarks();
    current = nullptr;
    benchmark::Shutdown();
    return 0;
}
