// The window and the program, run on Qt's offscreen platform and a screen of
// 96 dots per inch, the one the layout was drawn for (tests/CMakeLists.txt): every control where
// the design puts it, its frames and spinner; what the user does reaching the card, what the card
// answers reaching the captions, and what goes wrong ending the program.
#include "app/panel_app.h"
#include "fake_card.h"
#include "panel/caption_label.h"
#include "panel/frame_box.h"
#include "panel/frm_multibuf.h"
#include "panel/updown_spinner.h"
#include "sim_card.h"

#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMetaProperty>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString u(const std::string& text) {
    return QString::fromStdString(text);
}

// The window on a fake driver, with its messages collected instead of shown.
class Window : public testing::Test {
protected:
    // clang-format off
    template <typename T = QWidget> T* child(const std::string& n) { return frm.findChild<T*>(u(n)); }
    void type(const std::string& box, const std::string& t) { child<QLineEdit>(box)->setText(u(t)); }
    void click(const std::string& n) { QTest::mouseClick(child<QAbstractButton>(n), Qt::LeftButton); }
    // clang-format on
    QString text(const std::string& n) {
        return child<QLabel>(n) ? child<QLabel>(n)->text() : child<QLineEdit>(n)->text();
    }
    bool tick() { return frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer); }

    FakeCard fake;
    driver::DllDef dll{fake.search()};
    QStringList errors, warnings;
    panel::FrmMultiBuf frm{
        dll,
        {[this](const QString& e) { errors << e; }, [this](const QString& w) { warnings << w; }}};
};

// The design's controls: name, Label1 index, container, caption, place and
// size in twips (15 to a pixel at the tests' 96 dots per inch), and what a
// screen reader says for it and of it: its label's caption without the colon
// or parentheses, and for a label of values, the caption it stands beside.
struct Designed {
    const char* name;
    int index;
    const char *container, *caption;
    int left, top, width, height;
    const char *said = nullptr, *described = "";
};
const Designed kDesign[] = {
    {"Label1", 12, "", "开关量输入:", 120, 120, 996, 180},
    {"lblDI", -1, "", "00", 1260, 60, 456, 432, "00", "开关量输入"},
    {"Frame2", -1, "", "开关量输入", 0, 480, 5268, 1368},
    {"Frame1", -1, "", "开关量输出--按字节输出模式", 0, 1860, 3720, 1032},
    {"Frame4", -1, "", "开关量输入设置", 3720, 1860, 1572, 1032},
    {"Frame3", -1, "", "开关量输出--按位输出模式", 0, 2880, 3792, 1092},
    {"cmdExit", -1, "", "退出", 4140, 3420, 972, 432, "退出"},
    {"Label1", 1, "", "板卡信息：", 60, 4020, 900, 180},
    {"lblInfo", -1, "", "板卡信息", 1080, 4020, 720, 180, "板卡信息", "板卡信息"},
    {"Label1", 4, "Frame2", "位:", 168, 336, 180, 192},
    {"lblBit", -1, "Frame2", "Bit", 930, 300, 180, 195, "Bit", "位"},
    {"Label1", 6, "Frame2", "开关量输入0：", 168, 696, 948, 192},
    {"lblDI_0", -1, "Frame2", "DI0", 1320, 690, 240, 195, "DI0", "开关量输入0"},
    {"Label1", 7, "Frame2", "开关量输入1：", 144, 1056, 948, 192},
    {"lblDI_1", -1, "Frame2", "DI1", 1320, 1050, 240, 195, "DI1", "开关量输入1"},
    {"Label1", 9, "Frame1", "通道组（0 或1）：", 195, 330, 1545, 180},
    {"txtswChn", -1, "Frame1", "0", 2040, 270, 516, 300, "通道组（0 或1）"},
    {"cmdSWO", -1, "Frame1", "输出", 2700, 450, 768, 336, "输出（开关量输出--按字节输出模式）"},
    {"Label1", 8, "Frame1", "开关量输出值(hex)：", 45, 750, 1740, 180},
    {"txtSWO_0", -1, "Frame1", "00", 2064, 675, 516, 288, "开关量输出值(hex)"},
    {"Label1", 0, "Frame4", "字节数：", 60, 360, 720, 180},
    {"txtInbyteNum", -1, "Frame4", "4", 960, 360, 372, 264, "字节数"},
    {"chkDI", -1, "Frame4", "使能定时读取", 120, 660, 1392, 252, "使能定时读取"},
    {"Label1", 11, "Frame3", "开关量输出值(0 /1)：", 90, 360, 1800, 180},
    {"txtDOValue", -1, "Frame3", "0", 2040, 270, 516, 300, "开关量输出值(0 /1)", "双击改变"},
    {"Label1", 13, "Frame3", "(双击改变)", 2655, 270, 900, 180},
    {"cmdDOOutput", -1, "Frame3", "输出", 2880, 585, 768, 396, "输出（开关量输出--按位输出模式）"},
    {"Label1", 10, "Frame3", "通道号(1-128)：", 96, 768, 1392, 180},
    {"txtDOChn", -1, "Frame3", "1", 2064, 675, 516, 288, "通道号(1-128)"},
    {"UpDownBitNum", -1, "Frame3", "", 2565, 675, 240, 285, "通道号(1-128)"}};

// Labels keep their place and grow where their caption needs more room.
TEST_F(Window, StartsWithEveryControlAsDesigned) {
    frm.show();
    EXPECT_EQ(frm.windowTitle(), u("测试及编程源程序"));
    EXPECT_EQ(frm.size(), QSize(355, 286));
    const auto label1 = frm.findChildren<QLabel*>("Label1");
    for (const Designed& d : kDesign) {
        QWidget* w = child(d.name);
        for (QLabel* member : label1)
            w = member->property("index") == d.index ? member : w;
        QRect expected(qRound(d.left / 15.0), qRound(d.top / 15.0), qRound(d.width / 15.0),
                       qRound(d.height / 15.0));
        if (qobject_cast<QLabel*>(w))
            expected.setSize(expected.size().expandedTo(w->sizeHint()));
        EXPECT_EQ(w->geometry(), expected) << d.name << d.index;
        EXPECT_EQ(w->property(w->inherits("QGroupBox") ? "title" : "text").toString(),
                  u(d.caption));
        EXPECT_EQ(w->parentWidget()->objectName(), u(*d.container ? d.container : "FrmMultiBuf"));
        const QFont face = w->font();
        EXPECT_EQ(face.pointSizeF(), w->objectName() == "lblDI" ? 21.6 : 9.0) << d.name;
        EXPECT_FALSE(face.bold() || face.italic() || face.underline() || face.strikeOut())
            << d.name; // a plain face
        QAccessibleInterface* view = QAccessible::queryAccessibleInterface(w);
        const QString said =
            view->text(QAccessible::Name) + "|" + view->text(QAccessible::Description);
        EXPECT_EQ(d.said ? said : "", d.said ? u(d.said) + "|" + u(d.described) : "") << d.name;
        EXPECT_EQ(d.index == 10 ? static_cast<QLabel*>(w)->buddy() : nullptr,
                  d.index == 10 ? child("txtDOChn") : nullptr); // the channel's label
    }
    EXPECT_EQ(child("up")->accessibleName(), u("增大"));
    EXPECT_EQ(child("down")->accessibleName(), u("减小"));
    EXPECT_EQ(child<QToolButton>("up")->arrowType(), Qt::UpArrow);
    // The arrows split the spinner, the upper half up.
    const QRect up = child("up")->geometry(), down = child("down")->geometry();
    EXPECT_EQ(up.united(down), child("UpDownBitNum")->rect());
    EXPECT_EQ(up.bottom() + 1, down.top());
    EXPECT_EQ(child<panel::UpDownSpinner>("UpDownBitNum")->value(), 1);
    EXPECT_EQ(child("lblDI")->font().families().value(0), u("宋体"));
    QApplication::setActiveWindow(&frm);
    QStringList order;
    QWidget* w = frm.focusWidget();
    for (int i = 0; i < 100 && order.size() < 10; ++i, w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
    EXPECT_EQ(order.join(" "), "cmdSWO txtSWO_0 txtswChn txtDOValue txtDOChn cmdDOOutput "
                               "UpDownBitNum cmdExit txtInbyteNum chkDI");
}

// The pixels along a frame's line, in window coordinates, but where its caption stands.
std::vector<QRgb> lineOf(const QImage& shot, panel::FrameBox* frame) {
    const QRect line = frame->frameRect().adjusted(0, 0, -1, -1);
    std::vector<QRgb> pixels;
    for (int x = line.left(); x <= line.right(); ++x)
        for (int y = line.top(); y <= line.bottom();
             y += x == line.left() || x == line.right() ? 1 : line.height() - 1)
            if (!frame->captionRect().contains(x, y))
                pixels.push_back(shot.pixel(frame->mapTo(&*frame->window(), QPoint(x, y))));
    return pixels;
}

// Captions stand on the frames' top lines, and no control, nor any caption an
// input tick writes, covers a line: before the first tick and after one with
// the widest captions, every line is whole and as it was.
TEST_F(Window, KeepsEveryFrameLineWhole) {
    fake.state() = {{}, {-1, -1, -1, -1}, 4};
    frm.show();
    const QImage before = frm.grab().toImage();
    child<QCheckBox>("chkDI")->setChecked(true);
    ASSERT_TRUE(tick());
    const QImage after = frm.grab().toImage();
    // Each caption drawn as a plain label draws it, in its place and in a taller box.
    auto pixels = [](QWidget* w) {
        return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    QLabel plain(text("lblDI_0"));
    plain.setFont(child("lblDI_0")->font());
    plain.resize(child("lblDI_0")->size());
    EXPECT_EQ(pixels(child("lblDI_0")), pixels(&plain));
    panel::CaptionLabel taller(text("lblDI_0"), nullptr);
    taller.setFont(plain.font());
    for (QLabel* label : {static_cast<QLabel*>(&taller), &plain})
        label->resize(plain.width(), 3 * plain.height());
    EXPECT_EQ(pixels(&taller), pixels(&plain));
    const QRgb shadow = frm.palette().color(QPalette::Mid).rgb();
    for (panel::FrameBox* frame : frm.findChildren<panel::FrameBox*>()) {
        const std::vector<QRgb> line = lineOf(before, frame);
        EXPECT_EQ(std::count(line.begin(), line.end(), shadow), long(line.size()));
        EXPECT_EQ(lineOf(after, frame), line) << frame->objectName().toStdString();
        // The line runs through the middle of the caption, which interrupts it.
        const QRect caption = frame->captionRect();
        EXPECT_NEAR(frame->frameRect().top(), caption.center().y(), 1);
        EXPECT_GE(caption.width(), frame->fontMetrics().horizontalAdvance(frame->title()));
        EXPECT_NE(before.pixel(
                      frame->mapTo(&frm, QPoint(caption.center().x(), frame->frameRect().top()))),
                  shadow);
    }
}

// A value widget as Qt's own: tools read and write `value`, its user property,
// and screen readers see a spin box and hear its changes.
TEST(Spinner, IsAValueWidgetForToolsAndScreenReaders) {
    panel::UpDownSpinner spinner(1, 128, 1);
    EXPECT_STREQ(spinner.metaObject()->userProperty().name(), "value");
    static QList<int> signalled, announced;
    QObject::connect(&spinner, &panel::UpDownSpinner::valueChanged, [](int v) { signalled << v; });
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (event->type() == QAccessible::ValueChanged)
            announced << static_cast<QAccessibleValueChangeEvent*>(event)->value().toInt();
    });
    // As when a screen reader runs: only then are changes announced.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    spinner.stepDown();
    spinner.setProperty("value", 9);
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&spinner);
    QAccessibleValueInterface* value = view->valueInterface();
    EXPECT_EQ(view->childCount(), 2) << "its arrows, nothing else";
    EXPECT_EQ(view->role(), QAccessible::SpinBox);
    EXPECT_EQ(view->text(QAccessible::Value), "9");
    EXPECT_EQ(value->currentValue(), 9);
    EXPECT_EQ(value->minimumValue(), 1);
    EXPECT_EQ(value->maximumValue(), 128);
    value->setCurrentValue(12);
    spinner.setProperty("value", 12);
    spinner.setValue(500);
    QTest::keyClick(&spinner, Qt::Key_Down);
    QTest::keyClick(&spinner, Qt::Key_Up);
    spinner.setProperty("minimum", 130);
    spinner.setProperty("maximum", 100);
    EXPECT_EQ(signalled, QList<int>({9, 12, 128, 127, 128, 130, 100})) << "changes only";
    EXPECT_EQ(announced, signalled);
    QAccessible::installUpdateHandler(nullptr);
}

// Channel and value as typed; the channel box and the spinner settled; the bit
// sent; the value shown after.
TEST_F(Window, SendsTheBitAndTheByte) {
    // clang-format off
    const std::tuple<const char*, const char*, int, const char*, const char*> cases[] = {
        {"5", "0", 5, "Zan_DOBit(4,0)", " 0"}, {"-3", "-1", 1, "Zan_DOBit(0,1)", " 1"},
        {"", "40000", 1, "Zan_DOBit(0,1)", " 1"}, {"200", "0.5", 128, "Zan_DOBit(127,0)", " 0"},
        {"2.5", "x1", 2, "Zan_DOBit(1,0)", " 0"}, {"3.5", "1e10", 4, "Zan_DOBit(3,1)", " 1"},
        {"1e999999", "7", 128, "Zan_DOBit(127,1)", " 1"}};
    // clang-format on
    auto* spinner = child<panel::UpDownSpinner>("UpDownBitNum");
    for (const auto& [channel, value, settled, call, shown] : cases) {
        type("txtDOChn", channel);
        EXPECT_EQ(text("txtDOChn"), u(" " + std::to_string(settled))) << channel;
        EXPECT_EQ(spinner->value(), settled) << channel;
        type("txtDOValue", value);
        click("cmdDOOutput");
        EXPECT_EQ(fake.log(), std::string(call) + "\n");
        EXPECT_EQ(text("txtDOValue"), shown) << value;
        fake.state().logLength = 0;
    }
    frm.show();
    child<QLineEdit>("txtDOChn")->selectAll();
    QTest::keyClicks(child("txtDOChn"), "12");
    click("up");
    EXPECT_EQ(text("txtDOChn"), " 13") << "settled after each key, then stepped";
    spinner->setProperty("value", 9);
    EXPECT_EQ(text("txtDOChn"), " 9");
    // A double-click toggles the value; nothing else does, nor is anything sent.
    type("txtDOValue", "7");
    QTest::mouseClick(child("txtDOValue"), Qt::LeftButton);
    QTest::keyClick(child("txtDOValue"), Qt::Key_End);
    for (const char* toggled : {" 0", " 1"}) {
        QTest::mouseDClick(child("txtDOValue"), Qt::LeftButton);
        EXPECT_EQ(text("txtDOValue"), toggled);
    }
    EXPECT_EQ(fake.log(), "");
    // Group and byte as typed: sent and left in their boxes, or refused with a
    // warning, sending nothing and changing nothing.
    for (const auto& [group, byte] :
         {std::pair("0", "00"), {"1.5", "1A5"}, {"-32768", "ff"}, {"32768", "1"}}) {
        type("txtswChn", group);
        type("txtSWO_0", byte);
        click("cmdSWO");
        EXPECT_EQ(text("txtswChn"), group);
        EXPECT_EQ(text("txtSWO_0"), byte);
    }
    EXPECT_EQ(fake.log(), "Zan_DO(0,0)\nZan_DO(2,165)\nZan_DO(-32768,255)\n");
    EXPECT_EQ(dll.doBuffer[0], 255);
    EXPECT_EQ(warnings, QStringList(u("通道组“32768”超出范围（-32768 到 32767），未输出。")));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Window, ShowsTheInputsOnTicksWhileTheBoxIsTicked) {
    fake.state() = {{}, {5, -32767, 0, 0x1234}, 4};
    type("txtInbyteNum", "9");
    auto shown = [this] {
        return QStringList{text("lblDI"), text("lblDI_0"), text("lblBit"), text("lblDI_1")};
    };
    ASSERT_TRUE(tick());
    EXPECT_EQ(shown(), QStringList({"00", "DI0", "Bit", "DI1"})) << "unticked: nothing";
    auto* box = child<QCheckBox>("chkDI");
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);
    ASSERT_TRUE(tick());
    const QStringList last = {"5-8001-0-1234", "5      0   0   0   0   0   1   0   1",
                              "            7   6   5   4   3   2   1   0",
                              "8001      0   0   0   0   0   0   0   1"};
    EXPECT_EQ(shown(), last);
    box->setCheckState(Qt::Unchecked);
    fake.state().words[0] = -1;
    ASSERT_TRUE(tick());
    EXPECT_EQ(shown(), last) << "unticking freezes the captions";
    EXPECT_EQ(fake.log(), "Zan_DI(4)\n");
    EXPECT_EQ(fake.state().lastBuffer, dll.diBuffer.data());
    box->setCheckState(Qt::Checked);
    EXPECT_TRUE(QTest::qWaitFor([&] { return text("lblDI") == "FFFF-8001-0-1234"; }, 2000))
        << "on its own timer";
}

// Reply bytes 0, 1 and 4 reach the caption, never 2 and 3; the request is three
// bytes in the binding's buffer; the call's result is not narrowed, so no value
// ends the program.
TEST_F(Window, IdentifiesTheBoard) {
    fake.state() = {{255, 12, 77, 66, 3, 55}, {}, 0, 32768};
    ASSERT_TRUE(frm.load());
    EXPECT_EQ(text("lblInfo"), u("卡名：ZAN 255 12类型： 3"));
    EXPECT_EQ(fake.log(), "IOCtl(100,70,64,0,100)\n");
    EXPECT_EQ(fake.state().lastBuffer, dll.boardInfoReply.data());
    EXPECT_EQ(std::count(dll.boardInfoRequest.begin(), dll.boardInfoRequest.end(), 0),
              32001 - 3 + 1);
}

// The centre of a caption's character, across the window, as its font lays it out.
double centreOf(QLabel* label, int index) {
    const QFontMetricsF metrics(label->font());
    const QString text = label->text();
    return label->mapTo(label->window(), label->contentsRect().topLeft()).x() +
           metrics.horizontalAdvance(text.left(index)) + metrics.horizontalAdvance(text[index]) / 2;
}

// The bit numbers stand over the bits of a word of one or two hexadecimal
// digits, within a third of a bit's column; the widest input words stay inside
// the window.
TEST_F(Window, PutsEachBitUnderItsNumber) {
    child<QCheckBox>("chkDI")->setChecked(true);
    for (const std::int16_t word : {0x5, 0x15}) {
        fake.state() = {{}, {word, -1, -1, -1}, 4};
        ASSERT_TRUE(tick());
        auto *header = child<QLabel>("lblBit"), *bits = child<QLabel>("lblDI_0");
        const double column = QFontMetricsF(bits->font()).horizontalAdvance("   0");
        for (int bit = 0; bit < 8; ++bit)
            EXPECT_NEAR(centreOf(header, header->text().size() - 1 - 4 * bit),
                        centreOf(bits, bits->text().size() - 1 - 4 * bit), column / 3)
                << "bit " << bit << " of " << word;
    }
    fake.state().words[0] = -1;
    ASSERT_TRUE(tick());
    EXPECT_LT(centreOf(child<QLabel>("lblDI"), 18), frm.width());
}

// Tabbing to the spinner shows the style's focus frame on it; leaving takes it away.
TEST_F(Window, ShowsWhereTheSpinnerHasTheFocus) {
    frm.show();
    QApplication::setActiveWindow(&frm);
    auto* spinner = child("UpDownBitNum");
    const QImage unfocused = spinner->grab().toImage();
    child("cmdDOOutput")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(spinner->hasFocus());
    EXPECT_NE(spinner->grab().toImage(), unfocused);
    QTest::keyClick(spinner, Qt::Key_Tab);
    EXPECT_EQ(spinner->grab().toImage(), unfocused);
}

// The panel and dio-cli drive and read one simulated card: what dio-cli sets in
// its own process shows at the panel's next tick.
TEST(SharedCard, ShowsWhatAnotherProgramSets) {
    OwnSimulatedCard sim;
    driver::DllDef dll(sim.search());
    panel::FrmMultiBuf frm(dll, {});
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
#if defined(_WIN32) // beside the tests: a path fixed at build time would not survive Wine
    const std::string cli = "\"" + driver::executableDirectory() + "\\dio-cli.exe\"";
#else
    const std::string cli = "'" DIO_CLI "'";
#endif
    ASSERT_EQ(std::system((cli + " set --byte 1=05").c_str()), 0);
    ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    EXPECT_EQ(frm.findChild<QLabel*>("lblDI")->text(), "0-5-0-0");
}

// A driver that says why a call failed (the simulated card, as the Modbus one):
// a dead link shows in the title, never as inputs that stopped changing, and
// the title is the design's again once a call succeeds. The window's layout
// stays as it is.
TEST(SharedCard, ShowsAFailedCallInTheTitleUntilOneSucceeds) {
    OwnSimulatedCard sim;
    driver::DllDef dll(sim.search());
    panel::FrmMultiBuf frm(dll, {});
    ASSERT_TRUE(frm.load());
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
    ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    const QString shown = frm.findChild<QLabel*>("lblDI")->text();
    const QSize size = frm.size();
    sim.faults("silent-after=0");
    for (auto handler : {&panel::FrmMultiBuf::TimerAD_Timer, &panel::FrmMultiBuf::cmdSWO_Click}) {
        ASSERT_TRUE(frm.dispatch(handler));
        EXPECT_EQ(frm.windowTitle(),
                  "测试及编程源程序 — 模拟板卡：按 ADCARD_SIM_FAULTS 的 silent-after 不再应答");
    }
    EXPECT_EQ(frm.findChild<QLabel*>("lblDI")->text(), shown) << "the inputs left as they were";
    EXPECT_EQ(frm.size(), size);
    sim.faults("");
    ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    EXPECT_EQ(frm.windowTitle(), "测试及编程源程序");
}

// The program as dio-panel runs it. The exit button and the title bar end it
// with status 0, telling the driver nothing. A missing entry point is reported
// at its first use and nothing runs after it; at start-up it is reported before
// the window shows, as is a missing driver, with status 1.
TEST(Program, EndsOnExitOnCloseAndOnAnError) {
    const std::string clicks = "cmdDOOutput cmdSWO cmdDOOutput", start = "IOCtl(100,70,64,0,100)\n";
    // clang-format off
    const std::tuple<std::string, std::string, const char*, std::string> cases[] = {
        {"exit", "cmdExit", "", start}, {"close", "", "", start},
        {"no_Zan_DI", clicks, adcard::Zan_DIName, start}, {"no_Zan_DOBit", clicks, adcard::Zan_DOBitName, start},
        {"no_Zan_DO", clicks, adcard::Zan_DOName, start + "Zan_DOBit(0,0)\n"},
        {"no_IOCtl", "", adcard::IOCtlName, ""}, {"none", "", "文件未找到：none", ""}};
    // clang-format on
    for (const auto& [variant, buttons, error, calls] : cases) {
        FakeCard fake(variant.rfind("no_", 0) == 0 ? variant : "");
        fake.state().reply[0] = 80;
        driver::DllDef dll(variant == "none" ? driver::LibrarySearch{"none", {}, {}, {}}
                                             : fake.search());
        QStringList errors;
        QString shown;
        QTimer whenShown; // gone with the case when the window never shows
        QObject::connect(&whenShown, &QTimer::timeout, [&, variant = variant, buttons = buttons] {
            whenShown.stop();
            QWidget* frm = QApplication::topLevelWidgets().value(0);
            shown = frm->findChild<QLabel*>("lblInfo")->text();
            frm->findChild<QCheckBox*>("chkDI")->setChecked(variant == "no_Zan_DI");
            QTest::qWait(250); // a tick
            for (const QString& button : u(buttons).split(' ', Qt::SkipEmptyParts))
                QTest::mouseClick(frm->findChild<QAbstractButton*>(button), Qt::LeftButton);
            if (variant != "exit")
                frm->close();
        });
        whenShown.start(0);
        EXPECT_EQ(app::runPanel(dll, {[&](const QString& e) { errors << e; }, {}}), *error ? 1 : 0);
        EXPECT_EQ(errors.size(), *error ? 1 : 0) << variant;
        EXPECT_TRUE(errors.join("|").contains(u(error))) << variant;
        EXPECT_EQ(shown, calls.empty() ? "" : u("卡名：ZAN 80 0类型： 0")) << variant;
        EXPECT_EQ(fake.log(), calls) << variant;
    }
}

// Qt's own texts are Chinese too: the warning's button, a text box's context menu.
TEST(Program, SpeaksChineseInQtsOwnTexts) {
    FakeCard fake;
    driver::DllDef dll(fake.search());
    QString button, menu;
    QTimer::singleShot(0, [&] {
        QWidget* frm = QApplication::topLevelWidgets().value(0);
        auto* box = frm->findChild<QLineEdit*>("txtswChn");
        std::unique_ptr<QMenu> context(box->createStandardContextMenu());
        for (QAction* action : context->actions())
            menu += action->text() + "|";
        box->setText("99999");
        QTimer::singleShot(0, [&] {
            auto* warning = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            button = warning ? warning->buttons().value(0)->text() : "no warning";
            if (warning)
                warning->accept();
            frm->close();
        });
        QTest::mouseClick(frm->findChild<QAbstractButton*>("cmdSWO"), Qt::LeftButton);
    });
    EXPECT_EQ(app::runPanel(dll, app::messageBoxes()), 0);
    EXPECT_EQ(button, u("确定"));
    EXPECT_TRUE(menu.contains(u("复制"))) << menu.toStdString();
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
