#include "frame_box.h"

#include <QPaintEvent>
#include <QPainter>

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
    const QFontMetrics metrics = fontMetrics();
    return QRect(kCaptionLeft, 0, metrics.horizontalAdvance(caption) + 2 * kCaptionPadding,
                 metrics.height());
}

void FrameBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Etched: a light line inside and to the right of a shadow line.
    const QRect lines = frameRect().adjusted(0, 0, -2, -2);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(lines.translated(1, 1));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(lines);

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
