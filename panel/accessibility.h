#pragma once

#include <QString>

class QWidget;

namespace panel {

// A caption as a screen reader should say it: without the trailing colon
// ("通道号(1-128)：" gives "通道号(1-128)") or enclosing parentheses
// ("(双击改变)" gives "双击改变").
QString spokenCaption(const QString& caption);

// Names and describes every control of the window after the Label1 members its
// layout row gives, and tells the two "输出" buttons apart by their group.
void nameForScreenReaders(QWidget* window);

} // namespace panel
