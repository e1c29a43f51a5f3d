#pragma once

#include <QWidget>

#include <vector>

namespace station {

// Under the line grid: the colour of sound lines and of each kind of fault,
// on as many lines as its width needs.
class LineLegend : public QWidget {
public:
    explicit LineLegend(QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    int entryWidth(const QString& word) const;
    std::vector<QPoint> placesAt(int width) const;
};

} // namespace station
