#include "caption_label.h"

#include <QEvent>
#include <QPainter>

namespace panel {

CaptionLabel::CaptionLabel(const QString& caption, QWidget* parent) : QLabel(parent) {
    // Captions carry user-visible numbers and blanks: never read them as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    laidOut_.setTextFormat(Qt::PlainText);
    laidOut_.setPerformanceHint(QStaticText::AggressiveCaching);
    setText(caption);
}

void CaptionLabel::setCaption(const QString& caption) {
    setText(caption);
    resize(sizeHint());
}

void CaptionLabel::growToCaption() {
    resize(size().expandedTo(sizeHint()));
}

void CaptionLabel::paintEvent(QPaintEvent* event) {
    const QString caption = text();
    // Several lines are rare; the label's own drawing handles them.
    if (caption.contains(QLatin1Char('\n'))) {
        QLabel::paintEvent(event);
        return;
    }
    // Laid out again only when the caption or the font changed.
    if (laidOut_.text() != caption)
        laidOut_.setText(caption);
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const QRect area = contentsRect();
    const int top = area.top() + (area.height() - fontMetrics().height()) / 2;
    painter.drawStaticText(area.left(), top, laidOut_);
}

} // namespace panel
