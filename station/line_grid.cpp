#include "line_grid.h"

#include "station/line_grid_accessible.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QToolTip>

#include <map>

namespace station {

using cli::selftest::Fault;
using cli::selftest::FaultKind;

namespace {

constexpr int kPerGroup = 8;
constexpr int kCellWidth = 34, kCellHeight = 24, kGap = 2;

struct KindLook {
    FaultKind kind;
    QRgb colour;
};
// Apart for colour-blind eyes too: hues and lightness differ.
constexpr KindLook kKindLooks[] = {
    {FaultKind::Stuck0, 0xc62828},       {FaultKind::Stuck1, 0x6a1b9a},
    {FaultKind::Short, 0xef6c00},        {FaultKind::Crossed, 0x1565c0},
    {FaultKind::Intermittent, 0xfdd835}, {FaultKind::Undecided, 0x757575}};
constexpr QRgb kSound = 0xa5d6a7, kUntested = 0xf5f5f5;

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

// The legend's entries: sound, then each kind.
std::vector<std::pair<QColor, QString>> legend() {
    std::vector<std::pair<QColor, QString>> entries = {{QColor(kSound), QStringLiteral("正常")}};
    for (const KindLook& look : kKindLooks)
        entries.emplace_back(QColor(look.colour), text(cli::selftest::wordOf(look.kind)));
    return entries;
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

LineGrid::LineGrid(const std::vector<int>& channels, QWidget* parent) : QWidget(parent) {
    // Before anything asks for its interface (a name set does), which is kept.
    installLineGridAccessibility();
    setObjectName("lines");
    setAccessibleName(QStringLiteral("各通道"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    std::map<int, int> rows; // group to row, for the groups in use
    for (int channel : channels) {
        const int group = (channel - 1) / kPerGroup;
        const auto [at, added] = rows.emplace(group, static_cast<int>(rows.size()));
        if (added)
            groups_.push_back(group);
        Cell cell;
        cell.channel = channel;
        cell.row = at->second;
        cell.column = (channel - 1) % kPerGroup;
        cells_.push_back(cell);
    }
}

LineGrid::~LineGrid() = default;

int LineGrid::labelWidth() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("第 15 组 "));
}

QSize LineGrid::sizeHint() const {
    const int rows = static_cast<int>(groups_.size());
    return {labelWidth() + kPerGroup * (kCellWidth + kGap),
            rows * (kCellHeight + kGap) + fontMetrics().height() * 2 + kGap};
}

QRect LineGrid::cellRect(int cell) const {
    const Cell& c = cells_[static_cast<std::size_t>(cell)];
    return {labelWidth() + c.column * (kCellWidth + kGap), c.row * (kCellHeight + kGap), kCellWidth,
            kCellHeight};
}

int LineGrid::cellAt(const QPoint& point) const {
    for (int cell = 0; cell < cells(); ++cell)
        if (cellRect(cell).contains(point))
            return cell;
    return -1;
}

QColor LineGrid::colour(int cell) const {
    const Cell& c = cells_[static_cast<std::size_t>(cell)];
    return colourOf(c.finding, c.tested);
}

QString LineGrid::said(int cell) const {
    const Cell& c = cells_[static_cast<std::size_t>(cell)];
    return QStringLiteral("通道 %1：%2").arg(c.channel).arg(c.finds);
}

void LineGrid::clear() {
    for (Cell& cell : cells_) {
        cell.tested = false;
        cell.finding.reset();
        cell.finds = QStringLiteral("未测");
    }
    update();
}

void LineGrid::show(const cli::selftest::Report& report) {
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
    update();
    for (int cell = 0; cell < cells(); ++cell)
        announceLineCellChanged(this, cell);
}

void LineGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int line = kCellHeight + kGap;
    for (std::size_t row = 0; row < groups_.size(); ++row)
        painter.drawText(QRect(0, static_cast<int>(row) * line, labelWidth(), kCellHeight),
                         Qt::AlignVCenter | Qt::AlignLeft,
                         QStringLiteral("第 %1 组").arg(groups_[row]));
    for (int cell = 0; cell < cells(); ++cell) {
        const Cell& c = cells_[static_cast<std::size_t>(cell)];
        const QRect box = cellRect(cell);
        const QColor fill = colour(cell);
        painter.fillRect(box, fill);
        // A fault's cell framed in black as well as coloured; the keyboard's
        // cell in a thick frame.
        const bool focused = hasFocus() && cell == current_;
        if (c.finding || focused) {
            painter.setPen(QPen(Qt::black, focused ? 3 : 1));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        }
        painter.setPen(fill.lightness() < 128 ? Qt::white : Qt::black);
        painter.drawText(box, Qt::AlignCenter, QString::number(c.channel));
    }
    // The legend under the cells.
    int x = 0;
    const int top = static_cast<int>(groups_.size()) * line + fontMetrics().height() / 2;
    const int swatch = fontMetrics().height() * 3 / 4;
    painter.setPen(palette().color(QPalette::WindowText));
    for (const auto& [colour, word] : legend()) {
        painter.fillRect(QRect(x, top + (fontMetrics().height() - swatch) / 2, swatch, swatch),
                         colour);
        x += swatch + 4;
        painter.drawText(QPoint(x, top + fontMetrics().ascent()), word);
        x += fontMetrics().horizontalAdvance(word) + 12;
    }
}

void LineGrid::setCurrent(int cell) {
    if (cells_.empty())
        return;
    current_ = std::clamp(cell, 0, cells() - 1);
    update();
    emit currentChanged(current_);
    if (hasFocus())
        announceLineCellFocus(this, current_);
}

void LineGrid::keyPressEvent(QKeyEvent* event) {
    // A step off the grid stays where it is.
    auto step = [this](int by) {
        if (current_ + by >= 0 && current_ + by < cells())
            setCurrent(current_ + by);
    };
    switch (event->key()) {
    case Qt::Key_Left:
        step(-1);
        break;
    case Qt::Key_Right:
        step(1);
        break;
    case Qt::Key_Up:
        step(-kPerGroup);
        break;
    case Qt::Key_Down:
        step(kPerGroup);
        break;
    case Qt::Key_Home:
        setCurrent(0);
        break;
    case Qt::Key_End:
        setCurrent(cells() - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    QToolTip::showText(mapToGlobal(cellRect(current_).bottomLeft()), said(current_), this);
}

void LineGrid::mousePressEvent(QMouseEvent* event) {
    const int cell = cellAt(event->pos());
    if (cell >= 0)
        setCurrent(cell);
    QWidget::mousePressEvent(event);
}

// Tab goes through the cells one by one before it leaves the picture.
void LineGrid::focusInEvent(QFocusEvent* event) {
    if (event->reason() == Qt::TabFocusReason)
        current_ = 0;
    else if (event->reason() == Qt::BacktabFocusReason)
        current_ = cells() - 1;
    setCurrent(current_);
    QWidget::focusInEvent(event);
}

void LineGrid::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

bool LineGrid::focusNextPrevChild(bool next) {
    if (hasFocus() && (next ? current_ + 1 < cells() : current_ > 0)) {
        setCurrent(current_ + (next ? 1 : -1));
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

bool LineGrid::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int cell = cellAt(help->pos());
        if (cell >= 0)
            QToolTip::showText(help->globalPos(), said(cell), this, cellRect(cell));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace station
