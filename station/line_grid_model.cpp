#include "line_grid_model.h"

#include <algorithm>
#include <map>

namespace station {

using cli::selftest::Fault;
using cli::selftest::FaultKind;

namespace {

struct KindLook {
    FaultKind kind;
    QRgb colour;
};
// Apart for colour-blind eyes too: hues differ, and each kind is well darker
// than sound and untested.
constexpr KindLook kKindLooks[] = {
    {FaultKind::Stuck0, 0xc62828},       {FaultKind::Stuck1, 0x6a1b9a},
    {FaultKind::Short, 0xef6c00},        {FaultKind::Crossed, 0x1565c0},
    {FaultKind::Intermittent, 0x9e7c00}, {FaultKind::Undecided, 0x757575}};
constexpr QRgb kSound = 0xa5d6a7, kUntested = 0xf5f5f5;

// A cell's place in the row-by-row list of every cell.
std::size_t slot(int row, int column) {
    return static_cast<std::size_t>(row) * LineGridModel::kPerGroup +
           static_cast<std::size_t>(column);
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// "短路（与 18）": the kind and the other channels of its fault.
QString findingText(const Fault& fault, int channel) {
    QString said = text(cli::selftest::wordOf(fault.kind));
    std::vector<int> others;
    for (int c : fault.channels)
        if (c != channel)
            others.push_back(c);
    if (!others.empty())
        said += QStringLiteral("（与 %1）").arg(text(cli::selftest::joined(others)));
    return said;
}

} // namespace

QColor colourOf(const Finding& finding, bool tested) {
    if (!tested)
        return QColor(kUntested);
    if (!finding)
        return QColor(kSound);
    for (const KindLook& look : kKindLooks)
        if (look.kind == *finding)
            return QColor(look.colour);
    return QColor(kUntested);
}

std::vector<std::pair<QColor, QString>> legendEntries() {
    std::vector<std::pair<QColor, QString>> entries = {{QColor(kSound), QStringLiteral("正常")}};
    for (const KindLook& look : kKindLooks)
        entries.emplace_back(QColor(look.colour), text(cli::selftest::wordOf(look.kind)));
    return entries;
}

LineGridModel::LineGridModel(const std::vector<int>& channels, QObject* parent)
    : QAbstractTableModel(parent) {
    std::map<int, int> rows; // group to row, for the groups in use
    for (int channel : channels) {
        const int group = card::groupOf(channel);
        const auto [at, added] = rows.emplace(group, static_cast<int>(rows.size()));
        if (added)
            groups_.push_back(group);
        Cell cell;
        cell.channel = channel;
        cell.row = at->second;
        cell.column = card::bitOf(channel);
        cells_.push_back(cell);
    }
    at_.assign(groups_.size() * kPerGroup, -1);
    for (std::size_t cell = 0; cell < cells_.size(); ++cell)
        at_[slot(cells_[cell].row, cells_[cell].column)] = static_cast<int>(cell);
}

int LineGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(groups_.size());
}

int LineGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kPerGroup;
}

int LineGridModel::cellAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return -1;
    return at_[slot(index.row(), index.column())];
}

QModelIndex LineGridModel::indexOfCell(int cell) const {
    if (cell < 0 || cell >= static_cast<int>(cells_.size()))
        return {};
    const Cell& c = cells_[static_cast<std::size_t>(cell)];
    return index(c.row, c.column);
}

QVariant LineGridModel::data(const QModelIndex& index, int role) const {
    const int at = cellAt(index);
    if (at < 0)
        return {};
    const Cell& cell = cells_[static_cast<std::size_t>(at)];
    switch (role) {
    case Qt::DisplayRole:
        return QString::number(cell.channel);
    case Qt::BackgroundRole:
        return colourOf(cell.finding, cell.tested);
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        // "通道 17：短路（与 18）"
        return QStringLiteral("通道 %1：%2").arg(cell.channel).arg(cell.finds);
    case kFaultyRole:
        return cell.finding.has_value();
    default:
        return {};
    }
}

QVariant LineGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical && role == Qt::DisplayRole && section >= 0 &&
        section < rowCount())
        return QStringLiteral("第 %1 组").arg(groups_[static_cast<std::size_t>(section)]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags LineGridModel::flags(const QModelIndex& index) const {
    return cellAt(index) < 0 ? Qt::NoItemFlags : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndex LineGridModel::indexOf(int channel) const {
    const auto found = std::find_if(cells_.begin(), cells_.end(), [channel](const Cell& cell) {
        return cell.channel == channel;
    });
    return found == cells_.end() ? QModelIndex() : indexOfCell(int(found - cells_.begin()));
}

QModelIndex LineGridModel::stepped(const QModelIndex& from, int by) const {
    const int at = cellAt(from);
    return at < 0 ? first() : indexOfCell(at + by);
}

QModelIndex LineGridModel::first() const {
    return indexOfCell(0);
}

QModelIndex LineGridModel::last() const {
    return indexOfCell(static_cast<int>(cells_.size()) - 1);
}

void LineGridModel::changedAll() {
    if (!groups_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, kPerGroup - 1));
}

void LineGridModel::clear() {
    for (Cell& cell : cells_) {
        cell.tested = false;
        cell.finding.reset();
        cell.finds = QStringLiteral("未测");
    }
    changedAll();
}

void LineGridModel::setReport(const cli::selftest::Report& report) {
    std::map<int, const Fault*> first; // a line in two faults shows the first
    for (const Fault& fault : report.faults)
        for (int channel : fault.channels)
            first.emplace(channel, &fault);
    for (Cell& cell : cells_) {
        const auto found = first.find(cell.channel);
        cell.tested = true;
        if (found == first.end()) {
            cell.finding.reset();
            cell.finds = QStringLiteral("正常");
        } else {
            cell.finding = found->second->kind;
            cell.finds = findingText(*found->second, cell.channel);
        }
    }
    changedAll();
}

} // namespace station
