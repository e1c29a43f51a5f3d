// The panel against drivers that misbehave: slow, lacking an entry point, or
// answering garbage.
#include "panel_fixture.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

class SlowDriver : public PanelTest {
protected:
    SlowDriver() : PanelTest("slow") {}
};

// Each read blocks 700 ms: ticks that fall due meanwhile merge into one, and a
// click waits only for the read in progress, not for a backlog of ticks.
TEST_F(SlowDriver, TicksMergeAndClicksBetweenThemAreHandled) {
    window().show();
    child<QCheckBox>("chkDI")->setChecked(true);
    QTimer::singleShot(300,
                       [this] { QTest::mouseClick(child<QPushButton>("cmdSWO"), Qt::LeftButton); });
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(2300);
    const auto elapsed = clock.elapsed();
    QCoreApplication::processEvents(); // a queued backlog would run here
    const auto calls = fake.calls();
    const auto reads = std::count(calls.begin(), calls.end(), "Zan_DI(4)");
    // Queued ticks would make one read per 200 ms of the run (11 or more).
    EXPECT_GE(reads, 2);
    EXPECT_LE(reads, elapsed / 700 + 2) << elapsed << " ms";
    const auto click = std::find(calls.begin(), calls.end(), "Zan_DO(0,0)");
    ASSERT_NE(click, calls.end());
    EXPECT_NE(std::find(click, calls.end(), "Zan_DI(4)"), calls.end())
        << "the click ran between reads";
    EXPECT_TRUE(errors.isEmpty());
}

class GarbageDriver : public PanelTest {
protected:
    GarbageDriver() : PanelTest("garbage") {}
};

TEST_F(GarbageDriver, EverythingIsShownAsItStandsAndNothingEnds) {
    ASSERT_TRUE(window().load());
    EXPECT_EQ(caption("lblInfo"), u("卡名：ZAN 255 255类型： 255"));
    child<QCheckBox>("chkDI")->setChecked(true);
    ASSERT_TRUE(window().dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    EXPECT_EQ(caption("lblDI"), u("8000-7FFF-FFFF-F0F"));
    EXPECT_EQ(caption("lblDI_0"), u("8000      0   0   0   0   0   0   0   0"));
    EXPECT_EQ(caption("lblDI_1"), u("7FFF      1   1   1   1   1   1   1   1"));
    QTest::mouseClick(child<QPushButton>("cmdSWO"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("cmdDOOutput"), Qt::LeftButton);
    EXPECT_EQ(fake.calls().size(), 4u);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_FALSE(window().hasFailed());
}

class WithoutZanDO : public PanelTest {
protected:
    WithoutZanDO() : PanelTest("no_Zan_DO") {}
};

// Only the byte output needs Zan_DO: start-up, ticks and bit outputs run without it.
TEST_F(WithoutZanDO, TheFirstByteOutputEndsTheProgram) {
    ASSERT_TRUE(window().load());
    child<QCheckBox>("chkDI")->setChecked(true);
    ASSERT_TRUE(window().dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    QTest::mouseClick(child<QPushButton>("cmdDOOutput"), Qt::LeftButton);
    EXPECT_TRUE(errors.isEmpty());
    QTest::mouseClick(child<QPushButton>("cmdSWO"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(u("入口点 Zan_DO"))) << errors[0].toStdString();
    EXPECT_FALSE(window().dispatch(&panel::FrmMultiBuf::TimerAD_Timer)) << "nothing runs after";
}

} // namespace
