#include "updown_spinner.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>

#include <algorithm>

namespace panel {
namespace {

QToolButton* arrowButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    // The spinner takes the focus as one control; its halves do not.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// Lies above the arrows, which cover the whole spinner, and draws the style's
// focus frame while the spinner has the focus (as the style draws it for Qt's
// own controls: on Fusion, after the focus came by keyboard), so that a
// keyboard user sees where Up and Down will act. A QFocusFrame lets the mouse
// through and is no child to a screen reader.
class FocusFrame : public QFocusFrame {
public:
    explicit FocusFrame(QWidget* spinner) : QFocusFrame(spinner) {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        if (!parentWidget()->hasFocus())
            return;
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(parentWidget());
        option.rect = rect();
        option.backgroundColor = palette().color(QPalette::Button);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
};

class AccessibleSpinner : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleSpinner(UpDownSpinner* spinner)
        : QAccessibleWidget(spinner, QAccessible::SpinBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text what) const override {
        if (what == QAccessible::Value)
            return QString::number(spinner()->value());
        return QAccessibleWidget::text(what);
    }

    QVariant currentValue() const override { return spinner()->value(); }
    void setCurrentValue(const QVariant& value) override { spinner()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return spinner()->maximum(); }
    QVariant minimumValue() const override { return spinner()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    UpDownSpinner* spinner() const { return static_cast<UpDownSpinner*>(widget()); }
};

QAccessibleInterface* accessibleSpinner(const QString& className, QObject* object) {
    if (className == QLatin1String(UpDownSpinner::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new AccessibleSpinner(static_cast<UpDownSpinner*>(object));
    return nullptr;
}

// Screen readers see the spinner as a spin box with its value, range and step.
void installSpinnerAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleSpinner);
        return true;
    }();
    (void)installed;
}

} // namespace

UpDownSpinner::UpDownSpinner(int minimum, int maximum, int value, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(std::max(minimum, maximum)),
      value_(std::clamp(value, minimum_, maximum_)), up_(arrowButton(Qt::UpArrow, this)),
      down_(arrowButton(Qt::DownArrow, this)), focusFrame_(new FocusFrame(this)) {
    installSpinnerAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    up_->setObjectName("up");
    down_->setObjectName("down");
    up_->setAccessibleName(QString::fromUtf8("增大"));
    down_->setAccessibleName(QString::fromUtf8("减小"));
    connect(up_, &QToolButton::clicked, this, &UpDownSpinner::stepUp);
    connect(down_, &QToolButton::clicked, this, &UpDownSpinner::stepDown);
}

void UpDownSpinner::setMinimum(int minimum) {
    minimum_ = minimum;
    maximum_ = std::max(maximum_, minimum);
    setValue(value_);
}

void UpDownSpinner::setMaximum(int maximum) {
    maximum_ = maximum;
    minimum_ = std::min(minimum_, maximum);
    setValue(value_);
}

void UpDownSpinner::setValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    value_ = value;
    QAccessibleValueChangeEvent announced(this, value_);
    QAccessible::updateAccessibility(&announced);
    emit valueChanged(value_);
}

void UpDownSpinner::step(int direction) {
    // Widened so that a step at the type's limits cannot overflow.
    const qint64 next = static_cast<qint64>(value_) + direction;
    setValue(static_cast<int>(std::clamp<qint64>(next, minimum_, maximum_)));
}

void UpDownSpinner::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        stepUp();
        break;
    case Qt::Key_Down:
        stepDown();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UpDownSpinner::focusInEvent(QFocusEvent* event) {
    focusFrame_->update();
    QWidget::focusInEvent(event);
}

void UpDownSpinner::focusOutEvent(QFocusEvent* event) {
    focusFrame_->update();
    QWidget::focusOutEvent(event);
}

void UpDownSpinner::resizeEvent(QResizeEvent* /*event*/) {
    const int upper = height() / 2;
    up_->setGeometry(0, 0, width(), upper);
    down_->setGeometry(0, upper, width(), height() - upper);
    focusFrame_->setGeometry(rect());
}

} // namespace panel
