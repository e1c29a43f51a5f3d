#pragma once

#include <QWidget>

namespace station {

// Under the line grid: the colour of sound lines and of each kind of fault.
class LineLegend : public QWidget {
public:
    explicit LineLegend(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace station
