#pragma once

#include "panel/controls.h"

class QRect;
class QWidget;

namespace panel {

struct ControlLayout;

// A place and size in twips as pixels of the screen the widget is on.
QRect pixelsFromTwips(const QWidget* widget, int left, int top, int width, int height);

// Creates every control of the layout table on the window: its kind, object
// name, Label1 index, caption, place and size in pixels, the focus order of the
// tab indices, and what screen readers call it. Returns the controls.
Controls buildFromLayout(QWidget* window);

// The control a layout row made (a Label1 member by its index).
QWidget* controlOf(const Controls& controls, const ControlLayout& row);

} // namespace panel
