#pragma once

#include <QFont>

namespace panel {

// The window's font: about 9 points, in a CJK face where one is installed.
QFont panelFont();
// The large input display: Song style at 21.6 points, with CJK fallbacks.
QFont inputDisplayFont();

} // namespace panel
