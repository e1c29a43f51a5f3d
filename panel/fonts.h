#pragma once

#include <QFont>

namespace panel {

// The window's font, 9 points, and the large input display's, 21.6 points: a
// Song face where there is one, else a Chinese face of one width for all
// Latin characters.
QFont panelFont();
QFont inputDisplayFont();

} // namespace panel
