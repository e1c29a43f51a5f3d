#pragma once

#include <QWidget>

class QToolButton;

namespace panel {

// A pair of stacked arrow buttons holding an integer within a range, step 1: a
// value widget like Qt's own spin boxes, whose `value` is its user property.
// `valueChanged` is emitted only when the value actually changes.
class UpDownSpinner : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged USER true)
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
public:
    UpDownSpinner(int minimum, int maximum, int value, QWidget* parent = nullptr);

    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // The value is held within the new range.
    void setMinimum(int minimum);
    void setMaximum(int maximum);

public slots:
    // Values outside the range are held at its nearer end.
    void setValue(int value);
    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

signals:
    void valueChanged(int value);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int direction);

    int minimum_;
    int maximum_;
    int value_;
    QToolButton* up_;
    QToolButton* down_;
    QWidget* focusFrame_;
};

} // namespace panel
