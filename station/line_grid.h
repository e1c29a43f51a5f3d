#pragma once
// The lines under test as a picture: a row a channel group of eight, a cell a
// line, coloured by what the self-test found of it, with a legend. One widget
// draws them all (a widget a cell would slow the window's start): Tab and the
// arrow keys go from cell to cell, and each cell says its channel and
// finding to whoever hovers over it or reaches it, a screen reader too.

#include "core/selftest/report.h"

#include <QColor>
#include <QWidget>

#include <optional>
#include <vector>

namespace station {

// What a cell shows: a fault's kind, or sound, or not tested yet.
using Finding = std::optional<cli::selftest::FaultKind>;
QColor colourOf(const Finding& finding, bool tested);

class LineGrid : public QWidget {
    Q_OBJECT
public:
    explicit LineGrid(const std::vector<int>& channels, QWidget* parent = nullptr);
    ~LineGrid() override;

    // Every cell untested again.
    void clear();
    void show(const cli::selftest::Report& report);

    int cells() const { return static_cast<int>(cells_.size()); }
    int channel(int cell) const { return cells_[static_cast<std::size_t>(cell)].channel; }
    QColor colour(int cell) const;
    // "通道 17：短路（与 18）"
    QString said(int cell) const;
    QRect cellRect(int cell) const;
    // The cell the keyboard is on.
    int current() const { return current_; }

signals:
    void currentChanged(int cell);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool event(QEvent* event) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    struct Cell {
        int channel = 0;
        int row = 0, column = 0; // in the picture: a row a group in use
        bool tested = false;
        Finding finding;
        QString finds = QStringLiteral("未测");
    };
    int cellAt(const QPoint& point) const;
    void setCurrent(int cell);
    int labelWidth() const;

    std::vector<Cell> cells_;
    std::vector<int> groups_; // the group of each row
    int current_ = 0;
};

} // namespace station
