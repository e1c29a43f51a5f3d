// Runs the window tests on Qt's offscreen platform unless told otherwise, on a
// screen of 96 dots per inch, the one the layout was drawn for (Qt 5's
// offscreen screen says 100).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "96");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
