#pragma once

#include "panel/panel_messages.h"

namespace driver {
class DllDef;
}

namespace app {

// Message boxes titled with the window caption, as the user sees them.
panel::PanelMessages messageBoxes();

// Creates the window on the driver, runs its Load handler and, if that went
// well, shows it and runs the event loop. Returns the program's exit status:
// 0 when the window was closed, 1 after an error (reported through `messages`,
// and at start-up before the window is shown). Needs a QApplication.
int runPanel(driver::DllDef& dll, panel::PanelMessages messages);

} // namespace app
