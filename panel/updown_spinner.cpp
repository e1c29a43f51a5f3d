#include "updown_spinner.h"

#include <QKeyEvent>
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

} // namespace

UpDownSpinner::UpDownSpinner(std::int32_t minimum, std::int32_t maximum, std::int32_t value,
                             QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum),
      value_(std::clamp(value, minimum, maximum)), up_(arrowButton(Qt::UpArrow, this)),
      down_(arrowButton(Qt::DownArrow, this)) {
    setFocusPolicy(Qt::StrongFocus);
    up_->setObjectName("up");
    down_->setObjectName("down");
    up_->setAccessibleName(QString::fromUtf8("增大"));
    down_->setAccessibleName(QString::fromUtf8("减小"));
    connect(up_, &QToolButton::clicked, this, &UpDownSpinner::stepUp);
    connect(down_, &QToolButton::clicked, this, &UpDownSpinner::stepDown);
}

void UpDownSpinner::setValue(std::int32_t value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    value_ = value;
    emit changed();
}

void UpDownSpinner::step(int direction) {
    // Widened so that a step at the type's limits cannot overflow.
    const std::int64_t next = static_cast<std::int64_t>(value_) + direction;
    setValue(static_cast<std::int32_t>(std::clamp<std::int64_t>(next, minimum_, maximum_)));
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

void UpDownSpinner::resizeEvent(QResizeEvent* /*event*/) {
    const int upper = height() / 2;
    up_->setGeometry(0, 0, width(), upper);
    down_->setGeometry(0, upper, width(), height() - upper);
}

} // namespace panel
