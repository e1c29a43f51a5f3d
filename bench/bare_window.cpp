// The baseline: a bare Qt window with as many plain widgets as the panel has
// controls (30), ending right after its first paint.
#include "quit_after_show.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    new QuitAfterFirstShow(&application); // owned by the application
    QWidget window;
    window.resize(355, 286);
    for (int i = 0; i < 30; ++i)
        (new QWidget(&window))->setGeometry(4 + (i % 6) * 58, 4 + (i / 6) * 56, 54, 52);
    window.show();
    return QApplication::exec();
}
