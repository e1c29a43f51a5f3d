#include "line_legend.h"

#include "station/line_grid_model.h"

#include <QPainter>

namespace station {
namespace {

constexpr int kAfterSwatch = 4, kAfterWord = 12;

} // namespace

LineLegend::LineLegend(QWidget* parent) : QWidget(parent) {
    setObjectName("legend");
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LineLegend::sizeHint() const {
    const int swatch = fontMetrics().height() * 3 / 4;
    int width = 0;
    for (const auto& entry : legendEntries())
        width += swatch + kAfterSwatch + fontMetrics().horizontalAdvance(entry.second) + kAfterWord;
    return {width, fontMetrics().height()};
}

void LineLegend::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int swatch = fontMetrics().height() * 3 / 4;
    painter.setPen(palette().color(QPalette::WindowText));
    int x = 0;
    for (const auto& [colour, word] : legendEntries()) {
        painter.fillRect(QRect(x, (fontMetrics().height() - swatch) / 2, swatch, swatch), colour);
        x += swatch + kAfterSwatch;
        painter.drawText(QPoint(x, fontMetrics().ascent()), word);
        x += fontMetrics().horizontalAdvance(word) + kAfterWord;
    }
}

} // namespace station
