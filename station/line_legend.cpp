#include "line_legend.h"

#include "station/line_grid_model.h"

#include <QPainter>

#include <algorithm>

namespace station {
namespace {

constexpr int kAfterSwatch = 4, kAfterWord = 12;

} // namespace

LineLegend::LineLegend(QWidget* parent) : QWidget(parent) {
    setObjectName("legend");
    // As wide as there is room for, its entries going on to a second line
    // rather than widening the window.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int LineLegend::entryWidth(const QString& word) const {
    return fontMetrics().height() * 3 / 4 + kAfterSwatch + fontMetrics().horizontalAdvance(word) +
           kAfterWord;
}

// Where each entry goes at this width: its left edge and its line.
std::vector<QPoint> LineLegend::placesAt(int width) const {
    std::vector<QPoint> places;
    int x = 0, line = 0;
    for (const auto& entry : legendEntries()) {
        const int wide = entryWidth(entry.second);
        if (x > 0 && x + wide > width) {
            x = 0;
            ++line;
        }
        places.emplace_back(x, line);
        x += wide;
    }
    return places;
}

int LineLegend::heightForWidth(int width) const {
    const std::vector<QPoint> places = placesAt(width);
    return (places.empty() ? 1 : places.back().y() + 1) * fontMetrics().height();
}

QSize LineLegend::sizeHint() const {
    int width = 0;
    for (const auto& entry : legendEntries())
        width += entryWidth(entry.second);
    return {width, fontMetrics().height()};
}

QSize LineLegend::minimumSizeHint() const {
    int widest = 0;
    for (const auto& entry : legendEntries())
        widest = std::max(widest, entryWidth(entry.second));
    return {widest, fontMetrics().height()};
}

void LineLegend::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int swatch = fontMetrics().height() * 3 / 4;
    const int line = fontMetrics().height();
    painter.setPen(palette().color(QPalette::WindowText));
    const std::vector<QPoint> places = placesAt(width());
    std::size_t at = 0;
    for (const auto& [colour, word] : legendEntries()) {
        const QPoint place = places[at++];
        const int top = place.y() * line;
        painter.fillRect(QRect(place.x(), top + (line - swatch) / 2, swatch, swatch), colour);
        painter.drawText(QPoint(place.x() + swatch + kAfterSwatch, top + fontMetrics().ascent()),
                         word);
    }
}

} // namespace station
