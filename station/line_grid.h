#pragma once
// The lines under test as a picture: a row a channel group of eight, a cell a
// line, coloured by what the self-test found of it. The arrow keys move by row
// and column as the cells are drawn; Tab goes through the lines one by one and
// leaves the grid at either end. Each cell says its channel and finding to
// whoever hovers over it or reaches it, a screen reader too (Qt's table
// accessibility, from the model's roles).

#include "station/line_grid_model.h"

#include <QTableView>

#include <vector>

namespace station {

class LineGrid : public QTableView {
    Q_OBJECT
public:
    explicit LineGrid(const std::vector<int>& channels, QWidget* parent = nullptr);

    LineGridModel* lines() const { return model_; }
    // Every cell untested again.
    void clear();
    void setReport(const cli::selftest::Report& report);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void focusInEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    LineGridModel* model_;
};

} // namespace station
