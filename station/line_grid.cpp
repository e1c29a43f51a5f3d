#include "line_grid.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace station {
namespace {

constexpr int kCellWidth = 34, kCellHeight = 24, kGap = 2, kLabelMargin = 6;

// A cell as a coloured box with its channel: a fault's framed in black, the
// keyboard's in a thick frame; a cell with no tested line stays blank.
class LineCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!(index.flags() & Qt::ItemIsEnabled))
            return;
        const QRect box = option.rect.adjusted(0, 0, -kGap, -kGap);
        const auto fill = index.data(Qt::BackgroundRole).value<QColor>();
        painter->fillRect(box, fill);
        const bool focused = option.state.testFlag(QStyle::State_HasFocus);
        if (focused || index.data(LineGridModel::kFaultyRole).toBool()) {
            painter->setPen(QPen(Qt::black, focused ? 3 : 1));
            painter->drawRect(box.adjusted(0, 0, -1, -1));
        }
        painter->setPen(fill.lightness() < 128 ? Qt::white : Qt::black);
        painter->drawText(box, Qt::AlignCenter, index.data().toString());
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {kCellWidth + kGap, kCellHeight + kGap};
    }
};

} // namespace

LineGrid::LineGrid(const std::vector<int>& channels, QWidget* parent)
    : QTableView(parent), model_(new LineGridModel(channels, this)) {
    setObjectName("lines");
    setAccessibleName(QStringLiteral("各通道"));
    setModel(model_);
    setItemDelegate(new LineCellDelegate(this));
    horizontalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setDefaultSectionSize(kCellWidth + kGap);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kCellHeight + kGap);
    verticalHeader()->setHighlightSections(false);
    // Its width set, not asked of the header: the window's layout is the same
    // whether or not the header has laid itself out yet.
    verticalHeader()->setFixedWidth(
        verticalHeader()->fontMetrics().horizontalAdvance(QStringLiteral("第 15 组")) +
        2 * kLabelMargin);
    setShowGrid(false);
    setCornerButtonEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    setAutoScroll(false);
    setFocusPolicy(Qt::StrongFocus);
    // Drawn on the window's ground, as the rest of the window is.
    QPalette ground = palette();
    ground.setColor(QPalette::Base, ground.color(QPalette::Window));
    setPalette(ground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LineGrid::clear() {
    model_->clear();
}

void LineGrid::setReport(const cli::selftest::Report& report) {
    model_->setReport(report);
}

QModelIndex LineGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    switch (action) {
    // In the order the lines were given; past an end, off the grid.
    case MoveNext:
        return model_->stepped(currentIndex(), 1);
    case MovePrevious:
        return model_->stepped(currentIndex(), -1);
    case MoveHome:
        return model_->first();
    case MoveEnd:
        return model_->last();
    default:
        return QTableView::moveCursor(action, modifiers);
    }
}

// Tab comes in on the first line, Shift-Tab on the last.
void LineGrid::focusInEvent(QFocusEvent* event) {
    if (event->reason() == Qt::BacktabFocusReason)
        setCurrentIndex(model_->last());
    else if (event->reason() == Qt::TabFocusReason || !currentIndex().isValid())
        setCurrentIndex(model_->first());
    QTableView::focusInEvent(event);
}

// What the keyboard reached, said beside it as a mouse's hover would.
void LineGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (hasFocus() && current.isValid())
        QToolTip::showText(viewport()->mapToGlobal(visualRect(current).bottomLeft()),
                           current.data(Qt::ToolTipRole).toString(), this);
}

QSize LineGrid::sizeHint() const {
    return {verticalHeader()->width() + LineGridModel::kPerGroup * (kCellWidth + kGap),
            model_->rowCount() * (kCellHeight + kGap)};
}

} // namespace station
