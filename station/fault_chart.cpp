#include "fault_chart.h"

#include <QPainter>

#include <algorithm>

namespace station {

FaultChart::FaultChart(QWidget* parent) : QWidget(parent) {
    setObjectName("chart");
    setCounts({}, 0);
}

void FaultChart::setCounts(const std::vector<ChannelCount>& counts, std::size_t overRuns) {
    counts_ = counts;
    overRuns_ = overRuns;
    QStringList said;
    for (const ChannelCount& count : counts)
        said << QStringLiteral("通道 %1：%2 次").arg(count.channel).arg(count.runs);
    setAccessibleName(QStringLiteral("最近 %1 次里最常出故障的通道").arg(overRuns));
    setAccessibleDescription(said.isEmpty() ? QStringLiteral("没有故障") : said.join("；"));
    update();
}

void FaultChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int line = metrics.height() + 4;
    painter.drawText(QRect(0, 0, width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                     accessibleName());
    if (counts_.empty()) {
        painter.drawText(QRect(0, line, width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("没有故障"));
        return;
    }
    const long most = std::max_element(counts_.begin(), counts_.end(),
                                       [](const ChannelCount& a, const ChannelCount& b) {
                                           return a.runs < b.runs;
                                       })
                          ->runs;
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("通道 128 "));
    const int numberWidth = metrics.horizontalAdvance(QStringLiteral(" 9999"));
    const int barSpace = std::max(10, width() - labelWidth - numberWidth);
    const int barHeight = std::max(8, std::min(line, (height() - line) / int(counts_.size())) - 3);
    int top = line;
    for (const ChannelCount& count : counts_) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(0, top, labelWidth, barHeight), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("通道 %1 ").arg(count.channel));
        const int bar = static_cast<int>(barSpace * count.runs / std::max(1L, most));
        painter.fillRect(QRect(labelWidth, top, bar, barHeight), QColor(0xc6, 0x28, 0x28));
        painter.drawText(QRect(labelWidth + bar, top, numberWidth, barHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral(" %1").arg(count.runs));
        top += barHeight + 3;
    }
}

} // namespace station
