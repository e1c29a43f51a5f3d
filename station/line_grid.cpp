#include "line_grid.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace station {

using cli::selftest::Fault;
using cli::selftest::FaultKind;

namespace {

constexpr int kPerGroup = 8;

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

QWidget* legend(QWidget* parent) {
    auto* row = new QWidget(parent);
    row->setObjectName("legend");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto add = [&](const QColor& colour, const QString& word) {
        auto* swatch = new QLabel(row);
        QPixmap pixmap(14, 14);
        pixmap.fill(colour);
        swatch->setPixmap(pixmap);
        swatch->setAccessibleName(word);
        layout->addWidget(swatch);
        layout->addWidget(new QLabel(word, row));
    };
    add(QColor(kSound), QStringLiteral("正常"));
    for (const KindLook& look : kKindLooks)
        add(QColor(look.colour), text(cli::selftest::wordOf(look.kind)));
    layout->addStretch();
    return row;
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

LineCell::LineCell(int channel, QWidget* parent) : QWidget(parent), channel_(channel) {
    setObjectName(QStringLiteral("line%1").arg(channel));
    setFocusPolicy(Qt::TabFocus);
    setFinding(false, std::nullopt, QStringLiteral("未测"));
}

void LineCell::setFinding(bool tested, const Finding& finding, const QString& said) {
    tested_ = tested;
    finding_ = finding;
    const QString name = QStringLiteral("通道 %1：%2").arg(channel_).arg(said);
    setAccessibleName(name);
    setToolTip(name);
    update();
}

void LineCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor fill = colour();
    painter.fillRect(rect().adjusted(1, 1, -1, -1), fill);
    // A fault's cell framed in black as well as coloured; the focus in a thick frame.
    if (finding_ || hasFocus()) {
        painter.setPen(QPen(Qt::black, hasFocus() ? 3 : 1));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    painter.setPen(fill.lightness() < 128 ? Qt::white : Qt::black);
    painter.drawText(rect(), Qt::AlignCenter, QString::number(channel_));
}

LineGrid::LineGrid(const std::vector<int>& channels, QWidget* parent) : QWidget(parent) {
    setObjectName("lines");
    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setSpacing(1);
    outer->addLayout(grid);
    outer->addWidget(legend(this));
    std::map<int, int> rows; // group to row, for the groups in use
    for (int channel : channels) {
        const int group = (channel - 1) / kPerGroup;
        const auto [at, added] = rows.emplace(group, static_cast<int>(rows.size()));
        if (added)
            grid->addWidget(new QLabel(QStringLiteral("第 %1 组").arg(group), this), at->second, 0);
        auto* cell = new LineCell(channel, this);
        grid->addWidget(cell, at->second, 1 + (channel - 1) % kPerGroup);
        cells_[channel] = cell;
    }
}

void LineGrid::clear() {
    for (const auto& [channel, cell] : cells_)
        cell->setFinding(false, std::nullopt, QStringLiteral("未测"));
}

void LineGrid::show(const cli::selftest::Report& report) {
    std::map<int, const Fault*> first; // a line in two faults shows the first
    for (const Fault& fault : report.faults)
        for (int channel : fault.channels)
            first.emplace(channel, &fault);
    for (const auto& [channel, cell] : cells_) {
        const auto found = first.find(channel);
        if (found == first.end())
            cell->setFinding(true, std::nullopt, QStringLiteral("正常"));
        else
            cell->setFinding(true, found->second->kind, findingText(*found->second, channel));
    }
}

LineCell* LineGrid::cell(int channel) const {
    const auto found = cells_.find(channel);
    return found == cells_.end() ? nullptr : found->second;
}

} // namespace station
