#pragma once

namespace panel {

struct Controls;

// Names and describes every control of the window after the Label1 members its
// layout row gives, and tells the two "输出" buttons apart by their group.
void nameForScreenReaders(const Controls& controls);

} // namespace panel
