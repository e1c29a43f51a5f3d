// Per-call costs: a tick with and without the input monitor's work, the board
// identification, and the conversions.
#include "convert/format.h"
#include "convert/narrow.h"
#include "convert/val.h"
#include "driver/dlldef.h"
#include "panel/frm_multibuf.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The window on the simulated card, shown on the offscreen platform.
struct Panel {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(SIMCARD_DIR)};
    panel::FrmMultiBuf frm{dll, {}};
    Panel() {
        frm.load();
        frm.show();
        QCoreApplication::processEvents();
    }
    void enable(bool on) { frm.findChild<QCheckBox*>("chkDI")->setChecked(on); }
};

// Made in main, after the application object and destroyed before it.
Panel* current = nullptr;
Panel& panelOnSimcard() {
    return *current;
}

void BM_EnabledTickWithRepaint(benchmark::State& state) {
    Panel& p = panelOnSimcard();
    p.enable(true);
    QLabel* labels[] = {p.frm.findChild<QLabel*>("lblDI"), p.frm.findChild<QLabel*>("lblDI_0"),
                        p.frm.findChild<QLabel*>("lblBit"), p.frm.findChild<QLabel*>("lblDI_1")};
    for (auto _ : state) {
        p.frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer);
        // The captions rarely change between ticks; paint them as if they had,
        // in one paint pass as the event loop does.
        for (QLabel* label : labels)
            label->update();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_EnabledTickWithRepaint);

void BM_DisabledTick(benchmark::State& state) {
    Panel& p = panelOnSimcard();
    p.enable(false);
    for (auto _ : state)
        p.frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer);
}
BENCHMARK(BM_DisabledTick);

void BM_FormLoad(benchmark::State& state) {
    Panel& p = panelOnSimcard();
    for (auto _ : state)
        p.frm.dispatch(&panel::FrmMultiBuf::Form_Load);
}
BENCHMARK(BM_FormLoad);

void BM_ValDecimal(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(convert::Val(" -12.5e1"));
}
BENCHMARK(BM_ValDecimal);

void BM_ValHex(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(convert::Val("&H1A5"));
}
BENCHMARK(BM_ValHex);

void BM_ToInteger(benchmark::State& state) {
    double x = 2.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(convert::ToInteger(x));
    }
}
BENCHMARK(BM_ToInteger);

void BM_Str(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(convert::Str(128));
}
BENCHMARK(BM_Str);

void BM_Hex(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(convert::Hex(std::int16_t{-32767}));
}
BENCHMARK(BM_Hex);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ADCARD_SIM_NAME", "bench"); // a card of the benchmarks' own, not the user's
    QApplication application(argc, argv);
    Panel panel;
    current = &panel;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
