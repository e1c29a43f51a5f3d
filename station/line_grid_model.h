#pragma once
// The lines under test as a table: a row a channel group of eight in use, a
// column a bit; each tested line's cell with its channel, its colour and, for
// a tooltip and a screen reader, what the self-test found of it.

#include "core/selftest/report.h"
#include "driver/card_shape.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace station {

// What a cell shows: a fault's kind, or sound, or not tested yet.
using Finding = std::optional<cli::selftest::FaultKind>;
QColor colourOf(const Finding& finding, bool tested);
// The legend's entries: sound, then each kind.
std::vector<std::pair<QColor, QString>> legendEntries();

class LineGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPerGroup = card::kLinesPerGroup;
    // A fault's cell, framed as well as coloured.
    static constexpr int kFaultyRole = Qt::UserRole + 1;

    explicit LineGridModel(const std::vector<int>& channels, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Cells of groups in use that hold no tested line are there but blank.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The line's cell; invalid for a line not under test.
    QModelIndex indexOf(int channel) const;
    // The line `by` places away in the order the channels were given; invalid
    // past either end.
    QModelIndex stepped(const QModelIndex& from, int by) const;
    QModelIndex first() const;
    QModelIndex last() const;

    // Every cell untested again.
    void clear();
    void setReport(const cli::selftest::Report& report);

private:
    struct Cell {
        int channel = 0;
        int row = 0, column = 0;
        bool tested = false;
        Finding finding;
        QString finds = QStringLiteral("未测");
    };
    // The cell at an index, or -1.
    int cellAt(const QModelIndex& index) const;
    QModelIndex indexOfCell(int cell) const;
    void changedAll();

    std::vector<Cell> cells_;
    std::vector<int> groups_; // the group of each row
    std::vector<int> at_;     // row * kPerGroup + column to a cell, or -1
};

} // namespace station
