// A second baseline: the bare window with the panel's captions as plain labels
// in the panel's fonts, ending right after its first paint. The difference to
// the bare window is the cost of drawing Chinese text at all.
#include "panel/fonts.h"
#include "panel/layout_table.h"
#include "panel/window_builder.h"
#include "quit_after_show.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    new QuitAfterFirstShow(&application); // owned by the application
    QWidget window;
    window.setFont(panel::panelFont());
    window.resize(355, 286);
    for (const panel::ControlLayout& row : panel::kLayout) {
        auto* label = new QLabel(QString::fromUtf8(row.caption), &window);
        label->move(panel::pixelsFromTwips(&window, row.left, row.top, 0, 0).topLeft());
        if (QLatin1String(row.name) == QLatin1String("lblDI"))
            label->setFont(panel::inputDisplayFont());
    }
    window.show();
    return QApplication::exec();
}
