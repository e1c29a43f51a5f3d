// dio-station: the station's window for its operator, on dio-cli's libraries.
#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/card/card.h"
#include "driver/dlldef.h"
#include "gui/message_box.h"
#include "gui/qt_translation.h"
#include "station/operator_prompt.h"
#include "station/station_options.h"
#include "station/station_window.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// The window whose test must end before the process does, for the two ends
// that reach no handler of the window's: Qt's X11 platform, when its display
// is lost (the X server gone, the window killed as xkill and a window
// manager's force-quit do), writes its warning and calls exit(1) at once from
// the window's thread; and any other exit() on the way.
station::StationWindow* working = nullptr;
QtMessageHandler qtHandler = nullptr;

// Ends the test as a hang-up would: its lines back at 0, the run kept as
// ended by SIGHUP, the process ending with that signal's status.
#if defined(SIGHUP)
[[noreturn]] void endAsHungUp() {
    std::raise(SIGHUP); // caught: recorded, so that the test and the broker's waits end at once
    if (station::StationWindow* window = std::exchange(working, nullptr))
        window->finishWork();
    std::exit(cli::code(cli::ExitStatus::Signal) + SIGHUP);
}
#endif

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (qtHandler)
        qtHandler(type, context, text);
#if defined(SIGHUP)
    if (type == QtWarningMsg && text.startsWith(QLatin1String("The X11 connection broke")))
        endAsHungUp();
#endif
}

} // namespace

int main(int argc, char** argv) {
    // Before anything loads a library, Qt's plugins included.
    driver::lockLibrarySearch();
    const std::vector<std::string> arguments = cli::arguments(argc, argv);
    // Read before Qt starts: the help and a mistake are said on a terminal
    // without a display; started from a desktop, a mistake is shown.
    station::StationSettings settings;
    std::optional<cli::Failure> mistake;
    try {
        auto parsed = station::parseStationArguments(arguments);
        if (const auto* help = std::get_if<station::Help>(&parsed)) {
            cli::write(cli::Stream::Out, help->text);
            return 0;
        }
        settings = std::get<station::StationSettings>(std::move(parsed));
    } catch (const cli::Failure& e) {
        cli::write(cli::Stream::Err, "dio-station: " + e.told() + "\n");
        if (cli::isTerminal(cli::Stream::Err))
            return e.exitStatus();
        mistake = e;
    }
    QApplication application(argc, argv);
    gui::speakChinese();
    const QString title = QStringLiteral("测试台");
    if (mistake) {
        gui::plainTextBox(QMessageBox::Critical, title, QString::fromStdString(mistake->told()));
        return mistake->exitStatus();
    }
    // From here, a display lost ends it as a hang-up does (at the operator's
    // prompt too).
    qtHandler = qInstallMessageHandler(onQtMessage);
    if (!settings.operatorGiven)
        settings.output.who.operatorName = station::askOperator(settings.output.who.operatorName);
    // A signal (a shutdown, Ctrl-C in the terminal) closes the window as its
    // close button does: a running test stops with the lines back at 0, kept.
    cli::catchInterrupts();
    // The driver binding with its buffers lives for the whole run.
    QApplication::setFont(station::StationWindow::stationFont());
    auto dll = std::make_unique<driver::DllDef>();
    cli::Card card(*dll);
    station::StationWindow window(card, std::move(settings));
    working = &window;
    std::atexit([] {
        if (station::StationWindow* window = std::exchange(working, nullptr))
            window->finishWork();
    });
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &window, [&window] {
        if (cli::interrupted())
            window.close();
    });
    // A signal only sets a flag (all a handler may do); a tenth of a second is soon
    // enough for a person, and spares a self-pipe the same code on Windows lacks.
    stopWatch.start(100);
    window.show();
    const int status = QApplication::exec();
    working = nullptr;
    return cli::interrupted() ? cli::code(cli::ExitStatus::Signal) + cli::stopSignal() : status;
}
