#include "accessibility.h"

#include "panel/caption_label.h"
#include "panel/frame_box.h"
#include "panel/layout_table.h"
#include "panel/window_builder.h"

#include <QPushButton>

namespace panel {
namespace {

// A caption as a screen reader should say it: without the trailing colon
// ("通道号(1-128)：" gives "通道号(1-128)") or enclosing parentheses
// ("(双击改变)" gives "双击改变").
QString spokenCaption(const QString& caption) {
    QString text = caption.trimmed();
    while (text.endsWith(QChar(0xFF1A)) || text.endsWith(QLatin1Char(':')))
        text.chop(1);
    if (text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')')))
        text = text.mid(1, text.size() - 2);
    return text.trimmed();
}

} // namespace

void nameForScreenReaders(const Controls& controls) {
    for (const ControlLayout& row : kLayout) {
        QWidget* control = controlOf(controls, row);
        if (row.namedBy >= 0) {
            CaptionLabel* label = controls.Label1[row.namedBy];
            control->setAccessibleName(spokenCaption(label->text()));
            if (!label->buddy()) // the channel box, not its spinner, is the label's own
                label->setBuddy(control);
        }
        if (row.describedBy >= 0)
            control->setAccessibleDescription(
                spokenCaption(controls.Label1[row.describedBy]->text()));
    }
    // Output buttons share the caption "输出": their group box tells them apart.
    for (auto [button, group] : {std::pair(controls.cmdSWO, controls.Frame1),
                                 std::pair(controls.cmdDOOutput, controls.Frame3)})
        button->setAccessibleName(button->text() + QString::fromUtf8("（") + group->title() +
                                  QString::fromUtf8("）"));
}

} // namespace panel
