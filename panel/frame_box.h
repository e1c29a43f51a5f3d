#pragma once

#include <QGroupBox>

namespace panel {

// A group box drawn as the panel's frames are: an etched rectangle whose top
// line runs through the middle of the caption, the caption near its left end.
// Controls are placed from the box's top-left corner, so none of them reaches
// the line (a style that puts the caption above the line would move it down
// onto them). The inside is not filled: what lies beneath shows through.
class FrameBox : public QGroupBox {
    Q_OBJECT
public:
    FrameBox(const QString& caption, QWidget* parent);

    // The rectangle the frame's lines enclose, and where the caption stands on
    // its top line.
    QRect frameRect() const;
    QRect captionRect() const;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Measured once per caption and font: shaping the caption costs more than
    // the repaints of the labels above the frame, which come five times a second.
    mutable QString measuredCaption_;
    mutable int captionWidth_ = 0;
};

} // namespace panel
