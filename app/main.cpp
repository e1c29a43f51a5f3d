#include "app/panel_app.h"
#include "driver/dlldef.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    // Before anything loads a library, Qt's plugins included.
    driver::lockLibrarySearch();
    QApplication application(argc, argv);
    // The driver binding with its buffers lives for the whole run.
    auto dll = std::make_unique<driver::DllDef>();
    return app::runPanel(*dll, app::messageBoxes());
}
