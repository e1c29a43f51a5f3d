// dio-panel as it starts, ending right after the window's first paint.
#include "app/panel_app.h"
#include "driver/dlldef.h"
#include "quit_after_show.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    new QuitAfterFirstShow(&application); // owned by the application
    auto dll = std::make_unique<driver::DllDef>();
    return app::runPanel(*dll, app::messageBoxes());
}
