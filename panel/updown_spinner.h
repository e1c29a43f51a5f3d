#pragma once

#include <QWidget>

#include <cstdint>

class QToolButton;

namespace panel {

// A pair of stacked arrow buttons holding a 32-bit value within a range, step 1.
// `changed` is emitted only when the value actually changes.
class UpDownSpinner : public QWidget {
    Q_OBJECT
public:
    UpDownSpinner(std::int32_t minimum, std::int32_t maximum, std::int32_t value, QWidget* parent);

    std::int32_t value() const { return value_; }
    std::int32_t minimum() const { return minimum_; }
    std::int32_t maximum() const { return maximum_; }
    // Values outside the range are held at its nearer end.
    void setValue(std::int32_t value);
    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

signals:
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int direction);

    std::int32_t minimum_;
    std::int32_t maximum_;
    std::int32_t value_;
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace panel
