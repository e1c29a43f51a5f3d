#include "accessibility.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QVariant>
#include <QWidget>

#include <stdexcept>
#include <string>

namespace panel {
namespace {

// Which caption of the Label1 array stands for which control.
struct LabelFor {
    const char* control;
    int labelIndex;
    bool isDescription; // the label describes the control (its name is its own text)
};

constexpr LabelFor kLabels[] = {
    {"txtInbyteNum", 0, false}, {"txtSWO_0", 8, false},      {"txtswChn", 9, false},
    {"txtDOChn", 10, false},    {"UpDownBitNum", 10, false}, {"txtDOValue", 11, false},
    {"txtDOValue", 13, true},   {"lblInfo", 1, true},        {"lblBit", 4, true},
    {"lblDI_0", 6, true},       {"lblDI_1", 7, true},        {"lblDI", 12, true},
};

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
    for (const LabelFor& link : kLabels) {
        QWidget* control = find(window, link.control);
        QLabel* label = label1(window, link.labelIndex);
        const QString spoken = spokenCaption(label->text());
        if (link.isDescription) {
            control->setAccessibleDescription(spoken);
        } else {
            control->setAccessibleName(spoken);
            if (!label->buddy()) // the channel box, not its spinner, is the label's own
                label->setBuddy(control);
        }
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
