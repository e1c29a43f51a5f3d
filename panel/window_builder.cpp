#include "window_builder.h"

#include "panel/accessibility.h"
#include "panel/caption_label.h"
#include "panel/frame_box.h"
#include "panel/layout_table.h"
#include "panel/updown_spinner.h"
#include "rules/bit_output.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

namespace panel {
namespace {

// A control of each kind, with its caption or initial text.
template <typename W> W* create(const QString& caption, QWidget* parent) {
    if constexpr (std::is_same_v<W, QLineEdit>) {
        auto* box = new QLineEdit(caption, parent);
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    } else if constexpr (std::is_same_v<W, QPushButton>) {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    } else if constexpr (std::is_same_v<W, UpDownSpinner>) {
        return new UpDownSpinner(rules::kChannelMin, rules::kChannelMax, rules::kChannelMin,
                                 parent);
    } else {
        return new W(caption, parent); // labels, group boxes, the check box
    }
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

QWidget* controlOf(const Controls& controls, const ControlLayout& row) {
    if (row.index >= 0)
        return controls.Label1[row.index];
    return std::visit([&controls](auto slot) -> QWidget* { return controls.*slot; }, row.slot);
}

Controls buildFromLayout(QWidget* window) {
    Controls controls;
    std::vector<std::pair<int, QWidget*>> focusOrder;
    for (const ControlLayout& row : kLayout) {
        QWidget* parent = row.container ? controls.*row.container : window;
        const QString caption = QString::fromUtf8(row.caption);
        QWidget* widget = std::visit(
            [&](auto slot) -> QWidget* {
                using W = std::remove_pointer_t<std::remove_reference_t<decltype(controls.*slot)>>;
                W* made = create<W>(caption, parent);
                if constexpr (std::is_same_v<W, CaptionLabel>)
                    if (row.index >= 0)
                        return controls.Label1[row.index] = made;
                controls.*slot = made;
                return made;
            },
            row.slot);
        widget->setObjectName(QString::fromUtf8(row.name));
        if (row.index >= 0)
            widget->setProperty("index", row.index);
        widget->setGeometry(pixelsFromTwips(window, row.left, row.top, row.width, row.height));
        if (auto* label = qobject_cast<CaptionLabel*>(widget))
            label->growToCaption();
        if (widget->focusPolicy() != Qt::NoFocus)
            focusOrder.emplace_back(row.tabIndex, widget);
    }
    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
    nameForScreenReaders(controls);
    return controls;
}

} // namespace panel
