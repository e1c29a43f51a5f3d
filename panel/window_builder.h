#pragma once

class QRect;
class QWidget;

namespace panel {

// A place and size in twips as pixels of the screen the widget is on.
QRect pixelsFromTwips(const QWidget* widget, int left, int top, int width, int height);

// Creates every control of the layout table on the window: its kind, object
// name, Label1 index, caption, place and size in pixels, the focus order of the
// tab indices, and what screen readers call it.
void buildFromLayout(QWidget* window);

} // namespace panel
