#include "accessibility.h"

#include "panel/layout_table.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QVariant>
#include <QWidget>

#include <stdexcept>
#include <string>

namespace panel {
namespace {

// Output buttons share the caption "输出": their group box tells them apart.
constexpr const char* kOutputButtons[] = {"cmdSWO", "cmdDOOutput"};

QWidget* find(QWidget* window, const char* name) {
    auto* widget = window->findChild<QWidget*>(QString::fromUtf8(name));
    if (!widget)
        throw std::logic_error(std::string("no control ") + name);
    return widget;
}

QLabel* label1(QWidget* window, int index) {
    for (QLabel* label : window->findChildren<QLabel*>(QStringLiteral("Label1")))
        if (label->property("index").toInt() == index)
            return label;
    throw std::logic_error("no Label1 member " + std::to_string(index));
}

} // namespace

QString spokenCaption(const QString& caption) {
    QString text = caption.trimmed();
    while (text.endsWith(QChar(0xFF1A)) || text.endsWith(QLatin1Char(':')))
        text.chop(1);
    if (text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')')))
        text = text.mid(1, text.size() - 2);
    return text.trimmed();
}

void nameForScreenReaders(QWidget* window) {
    for (const ControlLayout& row : kLayout) {
        if (row.namedBy >= 0) {
            QWidget* control = find(window, row.name);
            QLabel* label = label1(window, row.namedBy);
            control->setAccessibleName(spokenCaption(label->text()));
            if (!label->buddy()) // the channel box, not its spinner, is the label's own
                label->setBuddy(control);
        }
        if (row.describedBy >= 0)
            find(window, row.name)
                ->setAccessibleDescription(spokenCaption(label1(window, row.describedBy)->text()));
    }
    for (const char* name : kOutputButtons) {
        auto* button = static_cast<QAbstractButton*>(find(window, name));
        auto* group = qobject_cast<QGroupBox*>(button->parentWidget());
        const QString where = group ? group->title() : QString();
        button->setAccessibleName(button->text() + QString::fromUtf8("（") + where +
                                  QString::fromUtf8("）"));
    }
}

} // namespace panel
