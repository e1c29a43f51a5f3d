#include "verdict_view.h"

#include <QPainter>
#include <QPainterPath>

namespace station {
namespace {

struct Look {
    const char* word;
    QColor background, text;
};

Look lookOf(VerdictView::State state) {
    switch (state) {
    case VerdictView::State::Waiting:
        return {"请扫描序列号", QColor(0xec, 0xef, 0xf1), QColor(0x37, 0x47, 0x4f)};
    case VerdictView::State::Running:
        return {"测试中…", QColor(0xe3, 0xf2, 0xfd), QColor(0x0d, 0x47, 0xa1)};
    case VerdictView::State::Pass:
        return {"合格", QColor(0x2e, 0x7d, 0x32), Qt::white};
    case VerdictView::State::Fail:
        return {"不合格", QColor(0xc6, 0x28, 0x28), Qt::white};
    case VerdictView::State::Unfinished:
        break;
    }
    return {"未完成", QColor(0xff, 0xb3, 0x00), Qt::black};
}

// A tick for a pass, a cross for a fail, a bar for a test that did not end:
// the verdict's shape as well as its colour.
void drawIcon(QPainter& painter, VerdictView::State state, const QRectF& box, const QColor& ink) {
    painter.setPen(QPen(ink, box.width() / 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(
        box.adjusted(box.width() / 20, box.width() / 20, -box.width() / 20, -box.width() / 20));
    const QPointF c = box.center();
    const qreal r = box.width() / 4;
    QPainterPath mark;
    if (state == VerdictView::State::Pass) {
        mark.moveTo(c.x() - r, c.y());
        mark.lineTo(c.x() - r / 3, c.y() + r * 0.7);
        mark.lineTo(c.x() + r, c.y() - r * 0.6);
    } else if (state == VerdictView::State::Fail) {
        mark.moveTo(c.x() - r, c.y() - r);
        mark.lineTo(c.x() + r, c.y() + r);
        mark.moveTo(c.x() + r, c.y() - r);
        mark.lineTo(c.x() - r, c.y() + r);
    } else {
        mark.moveTo(c.x() - r, c.y());
        mark.lineTo(c.x() + r, c.y());
    }
    painter.drawPath(mark);
}

} // namespace

VerdictView::VerdictView(QWidget* parent) : QWidget(parent) {
    setObjectName("verdict");
    setAccessibleName(word());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QString VerdictView::word() const {
    return QString::fromUtf8(lookOf(state_).word);
}

void VerdictView::setVerdict(State state, const QString& detail) {
    state_ = state;
    detail_ = detail;
    setAccessibleName(word());
    setAccessibleDescription(detail);
    update();
}

QFont VerdictView::largeFont(const QFont& base) {
    QFont large = base;
    large.setPointSizeF(base.pointSizeF() * 1.6);
    return large;
}

qreal VerdictView::wordPoints() const {
    const bool verdict = state_ != State::Waiting && state_ != State::Running;
    return verdict ? std::max<qreal>(kLeastPoints, height() * 0.36 * 72.0 / logicalDpiY())
                   : largeFont(font()).pointSizeF();
}

QSize VerdictView::minimumSizeHint() const {
    // Room for the least verdict, its icon and the detail: estimated from the
    // points (a font loaded for it would slow the window's start).
    const int em = kLeastPoints * logicalDpiY() / 72;
    return {em * 6, em * 2};
}

void VerdictView::paintEvent(QPaintEvent*) {
    const Look look = lookOf(state_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), look.background);
    // A verdict as large as the height allows, never under 48 points; the
    // prompts before one in the size of the detail line, as they need not be
    // read from afar.
    const bool verdict = state_ != State::Waiting && state_ != State::Running;
    const QFont small = largeFont(font());
    QFont big = small;
    if (verdict) {
        big.setBold(true);
        big.setPointSizeF(wordPoints());
    }
    const QFontMetricsF bigMetrics(big), smallMetrics(small);
    const qreal iconSize = bigMetrics.height();
    const qreal wordWidth = bigMetrics.horizontalAdvance(word());
    const qreal lineWidth = wordWidth + (verdict ? iconSize * 1.2 : 0);
    const qreal top = (height() - bigMetrics.height() - smallMetrics.height() * 1.5) / 2;
    qreal left = (width() - lineWidth) / 2;
    if (verdict) {
        drawIcon(painter, state_, QRectF(left, top, iconSize, iconSize), look.text);
        left += iconSize * 1.2;
    }
    painter.setPen(look.text);
    painter.setFont(big);
    painter.drawText(QRectF(left, top, wordWidth + 1, bigMetrics.height()), Qt::AlignCenter,
                     word());
    painter.setFont(small);
    // A serial too long for the line gives up its middle, not the time taken
    // and the time of day at its end.
    painter.drawText(QRectF(0, top + bigMetrics.height() + smallMetrics.height() * 0.3, width(),
                            smallMetrics.height() * 1.2),
                     Qt::AlignCenter,
                     smallMetrics.elidedText(detail_, Qt::ElideMiddle, width() - 8));
    emit painted();
}

} // namespace station
