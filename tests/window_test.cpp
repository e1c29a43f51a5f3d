#include "app/panel_app.h"
#include "panel/caption_label.h"
#include "panel/frame_box.h"
#include "panel/layout_table.h"
#include "panel/updown_spinner.h"
#include "panel_fixture.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using panel::UpDownSpinner;
using Window = PanelTest;

QString u(const char* text) {
    return QString::fromUtf8(text);
}

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<QLineEdit*>(widget))
        return box->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    return {};
}

TEST_F(Window, StartsWithTheDesignedCaptionsAndTexts) {
    struct Expected {
        const char* name;
        int index;
        const char* text;
    };
    const std::vector<Expected> expected = {
        {"Label1", 0, "字节数："},
        {"Label1", 1, "板卡信息："},
        {"Label1", 4, "位:"},
        {"Label1", 6, "开关量输入0："},
        {"Label1", 7, "开关量输入1："},
        {"Label1", 8, "开关量输出值(hex)："},
        {"Label1", 9, "通道组（0 或1）："},
        {"Label1", 10, "通道号(1-128)："},
        {"Label1", 11, "开关量输出值(0 /1)："},
        {"Label1", 12, "开关量输入:"},
        {"Label1", 13, "(双击改变)"},
        {"lblDI", -1, "00"},
        {"lblDI_0", -1, "DI0"},
        {"lblDI_1", -1, "DI1"},
        {"lblBit", -1, "Bit"},
        {"lblInfo", -1, "板卡信息"},
        {"Frame1", -1, "开关量输出--按字节输出模式"},
        {"Frame2", -1, "开关量输入"},
        {"Frame3", -1, "开关量输出--按位输出模式"},
        {"Frame4", -1, "开关量输入设置"},
        {"cmdExit", -1, "退出"},
        {"cmdSWO", -1, "输出"},
        {"cmdDOOutput", -1, "输出"},
        {"chkDI", -1, "使能定时读取"},
        {"txtswChn", -1, "0"},
        {"txtSWO_0", -1, "00"},
        {"txtInbyteNum", -1, "4"},
        {"txtDOValue", -1, "0"},
        {"txtDOChn", -1, "1"},
    };
    EXPECT_EQ(window().windowTitle(), u("测试及编程源程序"));
    for (const auto& e : expected) {
        QWidget* widget = e.index >= 0 ? label1(e.index) : child<QWidget>(e.name);
        EXPECT_EQ(textOf(widget), u(e.text)) << e.name << ' ' << e.index;
    }
    EXPECT_EQ(window().findChildren<QLabel*>("Label1").size(), 11);
    EXPECT_EQ(child<QCheckBox>("chkDI")->checkState(), Qt::Unchecked);
    EXPECT_EQ(child<UpDownSpinner>("UpDownBitNum")->value(), 1);
}

TEST_F(Window, PlacesEveryControlAtItsTwipsInPixels) {
    EXPECT_EQ(window().size(), QSize(355, 286)); // 5328 x 4284 twips at 96 dots per inch
    for (const panel::ControlLayout& row : panel::kLayout) {
        QWidget* widget = row.index >= 0 ? label1(row.index) : child<QWidget>(row.name);
        const QRect expected(qRound(row.left / 15.0), qRound(row.top / 15.0),
                             qRound(row.width / 15.0), qRound(row.height / 15.0));
        if (row.kind == panel::ControlKind::Label) {
            // Labels keep their place and grow where the font needs more room.
            EXPECT_EQ(widget->pos(), expected.topLeft()) << row.name << ' ' << row.index;
            EXPECT_GE(widget->width(), expected.width()) << row.name << ' ' << row.index;
            EXPECT_GE(widget->height(), expected.height()) << row.name << ' ' << row.index;
            EXPECT_GE(widget->width(), widget->sizeHint().width()) << row.name;
        } else {
            EXPECT_EQ(widget->geometry(), expected) << row.name << ' ' << row.index;
        }
        const QString container = row.container ? u(row.container) : u("FrmMultiBuf");
        EXPECT_EQ(widget->parentWidget()->objectName(), container) << row.name;
    }
    // The spinner stands against the channel box, overlapping it by 15 twips.
    auto* box = child<QLineEdit>("txtDOChn");
    auto* spinner = child<UpDownSpinner>("UpDownBitNum");
    EXPECT_EQ(spinner->x(), box->geometry().right());
    EXPECT_EQ(spinner->y(), box->y());
}

TEST_F(Window, FocusStartsOnTheByteOutputAndFollowsTheTabIndices) {
    window().show();
    QApplication::setActiveWindow(&window());
    EXPECT_EQ(window().focusWidget(), child<QPushButton>("cmdSWO"));

    std::vector<QString> order;
    QWidget* w = child<QWidget>("cmdSWO");
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order.push_back(w->objectName());
        w = w->nextInFocusChain();
    } while (w != child<QWidget>("cmdSWO"));
    const std::vector<QString> expected = {
        "cmdSWO",      "txtSWO_0",     "txtswChn", "txtDOValue",   "txtDOChn",
        "cmdDOOutput", "UpDownBitNum", "cmdExit",  "txtInbyteNum", "chkDI"};
    EXPECT_EQ(order, expected);
}

TEST_F(Window, NoButtonAnswersEnter) {
    for (QPushButton* button : window().findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
}

TEST_F(Window, TimerRunsAtTwoHundredMillisecondsFromCreation) {
    auto* timer = window().findChild<QTimer*>("TimerAD");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 200);
}

TEST_F(Window, FontsAreCjkAndTheInputDisplayIsLarge) {
    EXPECT_NEAR(window().font().pointSizeF(), 9.0, 0.01);
    QLabel* display = child<QLabel>("lblDI");
    EXPECT_NEAR(display->font().pointSizeF(), 21.6, 0.01);
    EXPECT_EQ(display->font().weight(), QFont::Normal);
    EXPECT_EQ(display->font().families().value(0), u("宋体"));
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
#else
    const QStringList chinese = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
#endif
    if (chinese.isEmpty())
        GTEST_SKIP() << "no CJK font installed";
    EXPECT_TRUE(chinese.contains(QFontInfo(window().font()).family()))
        << QFontInfo(window().font()).family().toStdString();
    EXPECT_TRUE(chinese.contains(QFontInfo(display->font()).family()))
        << QFontInfo(display->font()).family().toStdString();
}

TEST_F(Window, AGrowingLabelKeepsItsLeftAndTop) {
    auto* label = child<panel::CaptionLabel>("lblDI_0");
    const QRect before = label->geometry();
    label->setCaption(u("FFFF      1   1   1   1   1   1   1   1"));
    EXPECT_EQ(label->pos(), before.topLeft());
    EXPECT_GT(label->width(), before.width());
    const int oneLine = label->height();
    label->setCaption(u("two\nlines"));
    EXPECT_EQ(label->pos(), before.topLeft());
    EXPECT_GT(label->height(), oneLine);
}

QList<int>& announcedValues() {
    static QList<int> values;
    return values;
}

// The pixels of a frame's shadow line (or, one pixel down and right, of its
// light line), in window coordinates, but where its caption stands.
std::vector<QRgb> frameLine(const QImage& shot, panel::FrameBox* frame, QWidget* window,
                            int offset = 0) {
    const QRect line = frame->frameRect().adjusted(0, 0, -1, -1).translated(offset, offset);
    QPolygon outline;
    for (int x = line.left(); x <= line.right(); ++x)
        outline << QPoint(x, line.top()) << QPoint(x, line.bottom());
    for (int y = line.top(); y <= line.bottom(); ++y)
        outline << QPoint(line.left(), y) << QPoint(line.right(), y);
    std::vector<QRgb> pixels;
    for (const QPoint& p : outline)
        if (!frame->captionRect().contains(p))
            pixels.push_back(shot.pixel(frame->mapTo(window, p)));
    return pixels;
}

// Captions stand on the frames' top lines, and no control, nor any caption an
// input tick writes, covers a frame's line: before the first tick and after one
// with the widest captions, every line is whole and drawn as it was.
TEST_F(Window, FrameLinesStayWholeAroundEveryControl) {
    fake.setInputWords({-1, -1, -1, -1});
    window().show();
    const QImage before = window().grab().toImage();
    child<QCheckBox>("chkDI")->setChecked(true);
    ASSERT_TRUE(window().dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    const QImage after = window().grab().toImage();
    ASSERT_EQ(child<QLabel>("lblDI_0")->text(), u("FFFF      1   1   1   1   1   1   1   1"));

    const QRgb shadow = window().palette().color(QPalette::Mid).rgb();
    const auto frames = window().findChildren<panel::FrameBox*>();
    ASSERT_EQ(frames.size(), 4);
    for (panel::FrameBox* frame : frames) {
        const std::string name = frame->objectName().toStdString();
        const auto line = frameLine(before, frame, &window());
        EXPECT_EQ(std::count(line.begin(), line.end(), shadow), line.size()) << name;
        EXPECT_EQ(frameLine(after, frame, &window()), line) << name;
        EXPECT_EQ(frameLine(after, frame, &window(), 1), frameLine(before, frame, &window(), 1))
            << name;
        const QRect caption = frame->captionRect();
        EXPECT_LT(caption.top(), frame->frameRect().top());
        EXPECT_GT(caption.bottom(), frame->frameRect().top());
    }
}

TEST(Spinner, StopsAtItsLimitsAndSignalsOnlyChanges) {
    UpDownSpinner spinner(1, 128, 1, nullptr);
    int changes = 0;
    QObject::connect(&spinner, &UpDownSpinner::valueChanged, [&changes] { ++changes; });
    spinner.stepDown();
    EXPECT_EQ(spinner.value(), 1);
    EXPECT_EQ(changes, 0);
    for (int i = 0; i < 200; ++i)
        spinner.stepUp();
    EXPECT_EQ(spinner.value(), 128);
    EXPECT_EQ(changes, 127);
    spinner.setValue(128);
    EXPECT_EQ(changes, 127);
    spinner.setValue(500);
    EXPECT_EQ(spinner.value(), 128);
    spinner.setValue(-500);
    EXPECT_EQ(spinner.value(), 1);
}

// A value widget as Qt's own: Designer, mappers and test tools read and write
// `value`, its user property, and screen readers see a spin box.
TEST(Spinner, IsAValueWidgetForToolsAndScreenReaders) {
    UpDownSpinner spinner(1, 128, 1, nullptr);
    EXPECT_STREQ(spinner.metaObject()->userProperty().name(), "value");
    QList<int> signalled;
    QObject::connect(&spinner, &UpDownSpinner::valueChanged, [&](int v) { signalled << v; });
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (event->type() == QAccessible::ValueChanged)
            announcedValues() << static_cast<QAccessibleValueChangeEvent*>(event)->value().toInt();
    });
    // As when a screen reader is running: only then are changes announced.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);

    EXPECT_TRUE(spinner.setProperty("value", 9));
    EXPECT_EQ(spinner.property("value").toInt(), 9);
    EXPECT_EQ(spinner.property("minimum").toInt(), 1);
    EXPECT_EQ(spinner.property("maximum").toInt(), 128);
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&spinner);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->role(), QAccessible::SpinBox);
    EXPECT_EQ(view->text(QAccessible::Value), u("9"));
    QAccessibleValueInterface* value = view->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 9);
    EXPECT_EQ(value->minimumValue().toInt(), 1);
    EXPECT_EQ(value->maximumValue().toInt(), 128);
    value->setCurrentValue(12);
    EXPECT_EQ(spinner.value(), 12);
    spinner.setProperty("value", 12);
    EXPECT_EQ(signalled, (QList<int>{9, 12}));
    QAccessible::installUpdateHandler(nullptr);
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
    EXPECT_EQ(announcedValues(), (QList<int>{9, 12}));
}

TEST(Spinner, ArrowsAndKeysStep) {
    UpDownSpinner spinner(1, 128, 5, nullptr);
    spinner.resize(16, 19);
    spinner.show();
    QTest::mouseClick(spinner.findChild<QWidget*>("up"), Qt::LeftButton);
    EXPECT_EQ(spinner.value(), 6);
    QTest::mouseClick(spinner.findChild<QWidget*>("down"), Qt::LeftButton);
    QTest::mouseClick(spinner.findChild<QWidget*>("down"), Qt::LeftButton);
    EXPECT_EQ(spinner.value(), 4);
    QTest::keyClick(&spinner, Qt::Key_Up);
    EXPECT_EQ(spinner.value(), 5);
    QTest::keyClick(&spinner, Qt::Key_Down);
    EXPECT_EQ(spinner.value(), 4);
}

// The whole program as dio-panel runs it, on the fake driver.
using Program = PanelTest;

panel::FrmMultiBuf* shownPanel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* frm = qobject_cast<panel::FrmMultiBuf*>(w); frm && frm->isVisible())
            return frm;
    return nullptr;
}

TEST_F(Program, ExitButtonEndsItWithStatusZero) {
    fake.setReply({80, 12, 0, 0, 3});
    QString shownCaption;
    QTimer::singleShot(0, [&] {
        panel::FrmMultiBuf* frm = shownPanel();
        ASSERT_NE(frm, nullptr);
        shownCaption = frm->findChild<QLabel*>("lblInfo")->text();
        QTest::mouseClick(frm->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);
    });
    EXPECT_EQ(app::runPanel(dll, collectingMessages()), 0);
    EXPECT_EQ(shownCaption, u("卡名：ZAN 80 12类型： 3"));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(shownPanel(), nullptr);
}

TEST_F(Program, ClosingTheWindowEndsItTheSameWay) {
    QTimer::singleShot(0, [] {
        ASSERT_NE(shownPanel(), nullptr);
        shownPanel()->close();
    });
    EXPECT_EQ(app::runPanel(dll, collectingMessages()), 0);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(fake.calls().size(), 1u) << "nothing is told to the driver on exit";
}

TEST(ProgramStart, AMissingDriverIsReportedAndTheWindowNeverShows) {
    driver::DllDef dll({"libno-such-driver.so", {FakeCard::folder()}, false});
    QStringList errors;
    bool shown = false;
    QTimer::singleShot(0, [&] { shown = true; });
    const int status = app::runPanel(dll, {[&](const QString& text) {
                                               errors << text;
                                               shown = shown || shownPanel() != nullptr;
                                           },
                                           {}});
    EXPECT_EQ(status, 1);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(u("文件未找到"))) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains(u("libno-such-driver.so")));
    EXPECT_FALSE(shown);
}

class ProgramWithout : public PanelTest {
protected:
    ProgramWithout() : PanelTest("no_IOCtl") {}
};

TEST_F(ProgramWithout, IOCtlEndsItAtStartNamingTheEntryPoint) {
    EXPECT_EQ(app::runPanel(dll, collectingMessages()), 1);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(u("入口点 IOCtl"))) << errors[0].toStdString();
}

} // namespace

namespace {

// The input captions are drawn from a layout kept between repaints; what shows
// must still be the current caption, drawn as a plain label draws it.
TEST_F(Window, InputCaptionsPaintTheirCurrentText) {
    auto* label = child<panel::CaptionLabel>("lblDI_0");
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    plain.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    plain.setFont(label->font());
    plain.setPalette(label->palette());
    for (const char* caption :
         {"5      0   0   0   0   0   1   0   1", "FFFF      1   1   1   1   1   1   1   1",
          "0      0   0   0   0   0   0   0   0"}) {
        label->setCaption(u(caption));
        plain.setText(u(caption));
        plain.resize(label->size());
        EXPECT_EQ(label->grab().toImage().convertToFormat(QImage::Format_RGB32),
                  plain.grab().toImage().convertToFormat(QImage::Format_RGB32))
            << caption;
    }
}

} // namespace
