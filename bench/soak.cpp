// Runs many enabled ticks against the simulated card, repainting as the panel
// does, and reports the resident memory after the first 1,000 and after the
// last. Fails on growth beyond what allocator noise explains.
//
//   soak [ticks] [allowed growth in KiB]
#include "driver/dlldef.h"
#include "panel/frm_multibuf.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const long ticks = argc > 1 ? std::atol(argv[1]) : 100000;
    const long allowedKiB = argc > 2 ? std::atol(argv[2]) : 2048;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ADCARD_SIM_NAME", "bench"); // a card of the benchmarks' own, not the user's
    QApplication application(argc, argv);
    driver::DllDef dll(driver::LibrarySearch::cardDriverIn(SIMCARD_DIR));
    QStringList errors;
    panel::FrmMultiBuf frm(dll, {[&](const QString& text) { errors << text; }, {}});
    if (!frm.load())
        return 1;
    frm.show();
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
    auto* byte = frm.findChild<QLineEdit*>("txtSWO_0");
    auto* output = frm.findChild<QPushButton*>("cmdSWO");

    long afterFirst = 0;
    for (long i = 1; i <= ticks; ++i) {
        // The inputs change now and then, so the captions change size too.
        if (i % 97 == 0) {
            byte->setText(QString::number(i % 256, 16));
            output->click();
        }
        frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer);
        QCoreApplication::processEvents(); // the repaint of the four labels
        if (i == 1000)
            afterFirst = residentKiB();
    }
    const long afterLast = residentKiB();
    std::printf("soak: %ld ticks; resident after 1,000: %ld KiB, after the last: %ld KiB, growth "
                "%ld KiB (allowed %ld)\n",
                ticks, afterFirst, afterLast, afterLast - afterFirst, allowedKiB);
    if (!errors.isEmpty()) {
        std::printf("soak: error: %s\n", qPrintable(errors.first()));
        return 1;
    }
    return afterLast - afterFirst <= allowedKiB ? 0 : 1;
}
