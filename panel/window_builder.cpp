#include "window_builder.h"

#include "panel/accessibility.h"
#include "panel/caption_label.h"
#include "panel/frame_box.h"
#include "panel/layout_table.h"
#include "panel/updown_spinner.h"
#include "rules/bit_output.h"

#include <QCheckBox>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace panel {
namespace {

QWidget* createControl(const ControlLayout& row, QWidget* parent) {
    const QString caption = QString::fromUtf8(row.caption);
    switch (row.kind) {
    case ControlKind::Label:
        return new CaptionLabel(caption, parent);
    case ControlKind::GroupBox:
        return new FrameBox(caption, parent);
    case ControlKind::TextBox: {
        auto* box = new QLineEdit(caption, parent);
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(caption, parent);
    case ControlKind::Spinner:
        return new UpDownSpinner(rules::kChannelMin, rules::kChannelMax, rules::kChannelMin,
                                 parent);
    }
    throw std::logic_error("unknown control kind");
}

bool takesFocus(ControlKind kind) {
    return kind != ControlKind::Label && kind != ControlKind::GroupBox;
}

} // namespace

QRect pixelsFromTwips(const QWidget* widget, int left, int top, int width, int height) {
    auto across = [widget](int twips) {
        return qRound(static_cast<double>(twips) * widget->logicalDpiX() / kTwipsPerInch);
    };
    auto down = [widget](int twips) {
        return qRound(static_cast<double>(twips) * widget->logicalDpiY() / kTwipsPerInch);
    };
    return QRect(across(left), down(top), across(width), down(height));
}

void buildFromLayout(QWidget* window) {
    QHash<QString, QWidget*> containers;
    std::vector<std::pair<int, QWidget*>> focusOrder;
    for (const ControlLayout& row : kLayout) {
        QWidget* parent =
            row.container ? containers.value(QString::fromUtf8(row.container)) : window;
        if (!parent)
            throw std::logic_error(std::string("container listed after its controls: ") +
                                   row.container);
        QWidget* widget = createControl(row, parent);
        widget->setObjectName(QString::fromUtf8(row.name));
        if (row.index >= 0)
            widget->setProperty("index", row.index);
        widget->setGeometry(pixelsFromTwips(window, row.left, row.top, row.width, row.height));
        if (row.kind == ControlKind::Label)
            static_cast<CaptionLabel*>(widget)->growToCaption();
        if (row.kind == ControlKind::GroupBox)
            containers.insert(widget->objectName(), widget);
        if (takesFocus(row.kind))
            focusOrder.emplace_back(row.tabIndex, widget);
    }
    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
    nameForScreenReaders(window);
}

} // namespace panel
