#include "app/panel_app.h"
#include "panel_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

using panel::FrmMultiBuf;

QString u(const std::string& text) {
    return QString::fromStdString(text);
}

struct CaptionCase {
    std::vector<std::int16_t> words;
    const char* lblDI;
    const char* lblDI_0;
    const char* lblDI_1;
};

const std::vector<CaptionCase> kCaptionCases = {
    {{5, -32767, 0, 0x1234},
     "5-8001-0-1234",
     "5      0   0   0   0   0   1   0   1",
     "8001      0   0   0   0   0   0   0   1"},
};

const char* const kHeader = "            7   6   5   4   3   2   1   0";

class InputMonitor : public PanelTest {
protected:
    void tick() { ASSERT_TRUE(window().dispatch(&FrmMultiBuf::TimerAD_Timer)); }
    void enable(Qt::CheckState state = Qt::Checked) {
        auto* box = child<QCheckBox>("chkDI");
        box->setTristate(state == Qt::PartiallyChecked);
        box->setCheckState(state);
    }
    std::vector<QString> shown() {
        return {caption("lblDI"), caption("lblDI_0"), caption("lblBit"), caption("lblDI_1")};
    }
};

TEST_F(InputMonitor, AnEnabledTickShowsTheFourCaptions) {
    const CaptionCase c = kCaptionCases[0];
    fake.setInputWords(c.words);
    enable();
    tick();
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"Zan_DI(4)"}));
    EXPECT_EQ(shown(), (std::vector<QString>{u(c.lblDI), u(c.lblDI_0), u(kHeader), u(c.lblDI_1)}));
}

TEST_F(InputMonitor, AGreyedBoxAlsoEnablesTheTick) {
    fake.setInputWords({5, -32767, 0, 0x1234});
    enable(Qt::PartiallyChecked);
    tick();
    EXPECT_EQ(fake.calls().size(), 1u);
    EXPECT_EQ(caption("lblDI"), u("5-8001-0-1234"));
}

TEST_F(InputMonitor, TheByteCountBoxChangesNothing) {
    fake.setInputWords({1, 2, 3, 4, 0x55, 0x66, 0x77});
    child<QLineEdit>("txtInbyteNum")->setText("9");
    enable();
    tick();
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"Zan_DI(4)"}));
    EXPECT_EQ(caption("lblDI"), u("1-2-3-4"));
}

TEST_F(InputMonitor, UntickedTicksCallNothingAndChangeNoCaption) {
    fake.setInputWords({5, 6, 7, 8});
    const auto initial = shown();
    EXPECT_EQ(initial, (std::vector<QString>{"00", "DI0", "Bit", "DI1"}));
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_EQ(shown(), initial);

    enable();
    tick();
    const auto last = shown();
    enable(Qt::Unchecked);
    fake.setInputWords({-1, -1, -1, -1});
    tick();
    EXPECT_EQ(shown(), last) << "unticking freezes the captions";
    EXPECT_EQ(fake.calls().size(), 1u);

    enable();
    tick();
    EXPECT_EQ(caption("lblDI"), u("FFFF-FFFF-FFFF-FFFF"));
}

TEST_F(InputMonitor, RunsOnTheWindowsOwnTimer) {
    fake.setInputWords({0x42, 0, 0, 0});
    enable();
    EXPECT_TRUE(QTest::qWaitFor([&] { return caption("lblDI") == u("42-0-0-0"); }, 2000));
}

class InputMonitorWithoutZanDI : public PanelTest {
protected:
    InputMonitorWithoutZanDI() : PanelTest("no_Zan_DI") {}
};

// The missing entry point matters only once the box is ticked; then it ends the program.
TEST_F(InputMonitorWithoutZanDI, TheFirstTickedTickEndsTheProgram) {
    std::vector<std::string> callsWhileUnticked;
    QTimer::singleShot(450, [&] {
        callsWhileUnticked = fake.calls();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = w->findChild<QCheckBox*>("chkDI"))
                box->setChecked(true);
    });
    EXPECT_EQ(app::runPanel(dll, collectingMessages()), 1);
    EXPECT_EQ(callsWhileUnticked.size(), 1u) << "only the board identification";
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(u("入口点 Zan_DI"))) << errors[0].toStdString();
}

} // namespace
