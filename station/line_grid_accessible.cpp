#include "line_grid_accessible.h"

#include "station/line_grid.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

#include <vector>

namespace station {
namespace {

class LineCellAccessible : public QAccessibleInterface {
public:
    LineCellAccessible(LineGrid* grid, int cell) : grid_(grid), cell_(cell) {}
    bool isValid() const override { return grid_ && cell_ < grid_->cells(); }
    QObject* object() const override { return nullptr; } // drawn, not a widget
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(grid_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return isValid() && t == QAccessible::Name ? grid_->said(cell_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect box = grid_->cellRect(cell_);
        return {grid_->mapToGlobal(box.topLeft()), box.size()};
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.focusable = true;
        state.selectable = true;
        state.focused = isValid() && grid_->hasFocus() && grid_->current() == cell_;
        state.selected = isValid() && grid_->current() == cell_;
        state.invisible = !isValid() || !grid_->isVisible();
        return state;
    }
    int cell() const { return cell_; }

private:
    QPointer<LineGrid> grid_;
    int cell_;
};

// The grid with a child a cell; the cells' interfaces are registered (Qt
// owns them, ids for the screen reader) and removed with the grid's.
class LineGridAccessible : public QAccessibleWidget {
public:
    explicit LineGridAccessible(LineGrid* grid) : QAccessibleWidget(grid, QAccessible::List) {}
    ~LineGridAccessible() override {
        for (QAccessible::Id id : ids_)
            QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return grid()->cells(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= grid()->cells())
            return nullptr;
        if (ids_.empty())
            for (int cell = 0; cell < grid()->cells(); ++cell)
                ids_.push_back(
                    QAccessible::registerAccessibleInterface(new LineCellAccessible(grid(), cell)));
        return QAccessible::accessibleInterface(ids_[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* cell = dynamic_cast<const LineCellAccessible*>(child);
        return cell ? cell->cell() : -1;
    }
    QAccessibleInterface* focusChild() const override {
        return grid()->hasFocus() ? child(grid()->current()) : nullptr;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int cell = 0; cell < grid()->cells(); ++cell)
            if (child(cell)->rect().contains(x, y))
                return child(cell);
        return nullptr;
    }

private:
    LineGrid* grid() const { return static_cast<LineGrid*>(widget()); }
    mutable std::vector<QAccessible::Id> ids_;
};

QAccessibleInterface* gridFactory(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<LineGrid*>(object))
        return new LineGridAccessible(grid);
    return nullptr;
}

void announce(LineGrid* grid, int cell, QAccessible::Event event) {
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(grid);
    if (!view || !view->child(cell))
        return;
    QAccessibleEvent said(view->child(cell), event);
    QAccessible::updateAccessibility(&said);
}

} // namespace

void installLineGridAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    (void)installed;
}

void announceLineCellFocus(LineGrid* grid, int cell) {
    announce(grid, cell, QAccessible::Focus);
}

void announceLineCellChanged(LineGrid* grid, int cell) {
    announce(grid, cell, QAccessible::NameChanged);
}

} // namespace station
