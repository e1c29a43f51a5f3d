// dio-station as it starts (its operator given, its records a file of its
// own), ending right after the window's first paint.
#include "core/card/card.h"
#include "driver/dlldef.h"
#include "gui/qt_translation.h"
#include "quit_after_show.h"
#include "station/station_options.h"
#include "station/station_window.h"

#include <QApplication>

#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    driver::lockLibrarySearch();
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    auto settings = std::get<station::StationSettings>(station::parseStationArguments(
        {"dio-station", "--operator", "bench", "--db",
         std::string(folder ? folder : "/tmp") + "/station-start.sqlite"}));
    QApplication application(argc, argv);
    gui::speakChinese();
    new QuitAfterFirstShow(&application); // owned by the application
    QApplication::setFont(station::StationWindow::stationFont());
    auto dll = std::make_unique<driver::DllDef>();
    cli::Card card(*dll);
    station::StationWindow window(card, std::move(settings));
    window.show();
    return QApplication::exec();
}
