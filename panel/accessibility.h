#pragma once

#include <QString>

class QWidget;

namespace panel {

// A caption as a screen reader should say it: without the trailing colon
// ("通道号(1-128)：" gives "通道号(1-128)") or enclosing parentheses
// ("(双击改变)" gives "双击改变").
QString spokenCaption(const QString& caption);

// Names every input control of the window after the label beside it, and
// tells the value labels and the two "输出" buttons apart by what they belong to.
void nameForScreenReaders(QWidget* window);

} // namespace panel
