#pragma once

class QWidget;

namespace panel {

// Creates every control of the layout table on the window: its kind, object
// name, Label1 index, caption, place and size in pixels, the focus order of the
// tab indices, and what screen readers call it.
void buildFromLayout(QWidget* window);

} // namespace panel
