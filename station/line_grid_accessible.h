#pragma once
// The line grid's cells to a screen reader: each cell an item of the grid
// with its channel and finding for a name, the keyboard's cell focused.

namespace station {

class LineGrid;

// Makes grids known to Qt's accessibility (once for the application).
void installLineGridAccessibility();
// Said to an active screen reader: the keyboard is on this cell now; this
// cell's finding changed.
void announceLineCellFocus(LineGrid* grid, int cell);
void announceLineCellChanged(LineGrid* grid, int cell);

} // namespace station
