#include "frame_box.h"

#include <QPaintEvent>

#include <QEvent>
#include <QPainter>
#include <utility>

namespace panel {
namespace {

// Where the caption starts, and the blank kept on each side of it.
constexpr int kCaptionLeft = 8;
constexpr int kCaptionPadding = 2;

} // namespace

FrameBox::FrameBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

QRect FrameBox::frameRect() const {
    const int top = fontMetrics().height() / 2;
    return QRect(0, top, width(), height() - top);
}

QRect FrameBox::captionRect() const {
    const QString caption = title();
    if (caption.isEmpty())
        return {};
    if (caption != measuredCaption_) {
        captionWidth_ = fontMetrics().horizontalAdvance(caption) + 2 * kCaptionPadding;
        measuredCaption_ = caption;
    }
    return QRect(kCaptionLeft, 0, captionWidth_, fontMetrics().height());
}

void FrameBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        measuredCaption_.clear();
    QGroupBox::changeEvent(event);
}

void FrameBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Etched: a light line inside and to the right of a shadow line. The
    // labels' repaints reach only a few of the eight edges, if any.
    const QRect frame = frameRect();
    const QRect shadow = frame.adjusted(0, 0, -1, -1);
    const QRect light = frame.adjusted(1, 1, 0, 0);
    const QColor shadowColor = palette().color(QPalette::Mid);
    const QColor lightColor = palette().color(QPalette::Light);
    for (const auto& [line, color] :
         {std::pair(light, lightColor), std::pair(shadow, shadowColor)}) {
        const QRect edges[] = {{line.left(), line.top(), line.width(), 1},
                               {line.left(), line.bottom(), line.width(), 1},
                               {line.left(), line.top(), 1, line.height()},
                               {line.right(), line.top(), 1, line.height()}};
        for (const QRect& edge : edges)
            if (event->region().intersects(edge))
                painter.fillRect(edge, color);
    }

    // The labels' repaints beneath rarely reach the caption: shape it only then.
    const QRect caption = captionRect();
    if (caption.isEmpty() || !event->region().intersects(caption))
        return;
    painter.fillRect(caption, palette().brush(backgroundRole()));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

} // namespace panel
