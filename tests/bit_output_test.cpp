#include "panel/updown_spinner.h"
#include "panel_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

using panel::UpDownSpinner;

struct ChannelCase {
    const char* typed;
    const char* settled;
    int channel;
};

// What the channel box settles to; the rule itself has its table in the core suite.
const std::vector<ChannelCase> kChannelCases = {
    {"5", " 5", 5},
    {" 5", " 5", 5},
    {"128", " 128", 128},
    {"0", " 1", 1},
    {"-3", " 1", 1},
    {"abc", " 1", 1},
    {"", " 1", 1},
    {"200", " 128", 128},
    {"99999", " 128", 128},
    {"1e10", " 128", 128},
    {"-40000", " 1", 1},
    {"2.5", " 2", 2},
    {"3.5", " 4", 4},
    {"0.5", " 1", 1},
    {"1.5", " 2", 2},
    {"&H10", " 16", 16},
    {"&HFFFF", " 1", 1},
    {"1 2", " 12", 12},
    {"1e999999", " 128", 128},
    {"-1e999999", " 1", 1},
    {"通道", " 1", 1},
};

class BitOutput : public PanelTest {
protected:
    QLineEdit* channelBox() { return child<QLineEdit>("txtDOChn"); }
    QLineEdit* valueBox() { return child<QLineEdit>("txtDOValue"); }
    UpDownSpinner* spinner() { return child<UpDownSpinner>("UpDownBitNum"); }
    void output() { QTest::mouseClick(child<QPushButton>("cmdDOOutput"), Qt::LeftButton); }
};

TEST_F(BitOutput, AnyChannelTextSettlesWithTheSpinnerInStep) {
    for (const auto& c : kChannelCases) {
        channelBox()->setText(QString::fromUtf8(c.typed));
        EXPECT_EQ(channelBox()->text(), QString::fromUtf8(c.settled)) << c.typed;
        EXPECT_EQ(spinner()->value(), c.channel) << c.typed;
    }
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_FALSE(window().hasFailed());
}

TEST_F(BitOutput, TypingKeyByKeySettlesAfterEachKey) {
    window().show();
    channelBox()->setFocus();
    channelBox()->selectAll();
    QTest::keyClicks(channelBox(), "12");
    EXPECT_EQ(channelBox()->text(), " 12");
    EXPECT_EQ(spinner()->value(), 12);
    QTest::keyClicks(channelBox(), "0"); // " 120"
    EXPECT_EQ(spinner()->value(), 120);
    QTest::keyClicks(channelBox(), "0"); // " 1200" is held to 128
    EXPECT_EQ(channelBox()->text(), " 128");
    EXPECT_EQ(spinner()->value(), 128);
    channelBox()->selectAll();
    QTest::keyClick(channelBox(), Qt::Key_Delete);
    EXPECT_EQ(channelBox()->text(), " 1") << "clearing the box rewrites it at once";
}

TEST_F(BitOutput, TheSpinnerArrowsWriteTheChannelBox) {
    window().show();
    QWidget* up = spinner()->findChild<QWidget*>("up");
    QWidget* down = spinner()->findChild<QWidget*>("down");
    QTest::mouseClick(up, Qt::LeftButton);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(channelBox()->text(), " 3");
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(channelBox()->text(), " 2");
    channelBox()->setText("128");
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(channelBox()->text(), " 128");
    EXPECT_EQ(spinner()->value(), 128);
    // Its value property, as tools and mappers set it, is the channel too.
    EXPECT_TRUE(spinner()->setProperty("value", 9));
    EXPECT_EQ(channelBox()->text(), " 9");
}

TEST_F(BitOutput, DoubleClickTogglesTheValueBox) {
    window().show();
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"0", " 1"}, {" 1", " 0"}, {"7", " 0"}, {"x1", " 1"}, {"1e999999", " 0"}, {"", " 1"},
    };
    for (const auto& [before, after] : cases) {
        valueBox()->setText(QString::fromUtf8(before));
        QTest::mouseDClick(valueBox(), Qt::LeftButton);
        EXPECT_EQ(valueBox()->text(), QString::fromUtf8(after)) << before;
    }
    EXPECT_TRUE(fake.calls().empty()) << "toggling sends nothing";
}

TEST_F(BitOutput, OutputSendsChannelLessOneAndAZeroOrOne) {
    struct Case {
        const char* channel;
        const char* value;
        const char* call;
        const char* valueShown;
    };
    const std::vector<Case> cases = {
        {"1", "0", "Zan_DOBit(0,0)", " 0"},
        {"1", "5", "Zan_DOBit(0,1)", " 1"},
        {"9", "-1", "Zan_DOBit(8,1)", " 1"},
        {"128", "40000", "Zan_DOBit(127,1)", " 1"},
        {"200", "1e10", "Zan_DOBit(127,1)", " 1"},
        {"0", "0.5", "Zan_DOBit(0,0)", " 0"},
        {"2.5", "0.6", "Zan_DOBit(1,1)", " 1"},
        {"abc", "abc", "Zan_DOBit(0,0)", " 0"},
        {"99999", "-40000", "Zan_DOBit(127,1)", " 1"},
    };
    for (const auto& c : cases) {
        fake.reset();
        channelBox()->setText(c.channel);
        valueBox()->setText(c.value);
        output();
        EXPECT_EQ(fake.calls(), (std::vector<std::string>{c.call})) << c.channel << ' ' << c.value;
        EXPECT_EQ(valueBox()->text(), QString::fromUtf8(c.valueShown)) << c.value;
    }
    EXPECT_TRUE(errors.isEmpty());
}

class BitOutputWithoutZanDOBit : public PanelTest {
protected:
    BitOutputWithoutZanDOBit() : PanelTest("no_Zan_DOBit") {}
};

TEST_F(BitOutputWithoutZanDOBit, TheFirstClickFailsAndNothingRunsAfterIt) {
    child<QLineEdit>("txtDOChn")->setText("7");
    EXPECT_TRUE(errors.isEmpty()) << "editing needs no driver";
    QTest::mouseClick(child<QPushButton>("cmdDOOutput"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QString::fromUtf8("入口点 Zan_DOBit")))
        << errors[0].toStdString();
    EXPECT_TRUE(window().hasFailed());
    QTest::mouseClick(child<QPushButton>("cmdDOOutput"), Qt::LeftButton);
    EXPECT_EQ(errors.size(), 1);
}

} // namespace
