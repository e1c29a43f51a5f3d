#pragma once

#include <QLabel>
#include <QStaticText>

namespace panel {

// A static text that sizes itself to its caption when the caption changes:
// Left and Top stay, width and height follow the text.
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(const QString& caption, QWidget* parent);
    void setCaption(const QString& caption);
    // Widens or heightens the label where its caption does not fit, never
    // shrinking it: the laid-out sizes assume narrower glyphs than some CJK fonts have.
    void growToCaption();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The caption laid out once per change: shaping CJK-capable fonts on every
    // repaint costs more than the whole tick that rewrites the caption.
    QStaticText laidOut_;
};

} // namespace panel
