#pragma once

namespace gui {

// Installs Qt's own Chinese texts once per application (a second call does
// nothing). False when the embedded translation did not load. Needs a
// QCoreApplication.
bool speakChinese();

} // namespace gui
