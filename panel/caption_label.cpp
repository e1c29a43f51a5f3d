#include "caption_label.h"

namespace panel {

CaptionLabel::CaptionLabel(const QString& caption, QWidget* parent) : QLabel(parent) {
    // Captions carry user-visible numbers and blanks: never read them as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setText(caption);
}

void CaptionLabel::setCaption(const QString& caption) {
    setText(caption);
    resize(sizeHint());
}

void CaptionLabel::growToCaption() {
    resize(size().expandedTo(sizeHint()));
}

} // namespace panel
