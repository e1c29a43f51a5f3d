#include "panel/byte_output.h"
#include "panel_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

class ByteOutput : public PanelTest {
protected:
    void send(const char* group, const char* hex) {
        fake.reset();
        child<QLineEdit>("txtswChn")->setText(u(group));
        child<QLineEdit>("txtSWO_0")->setText(u(hex));
        QTest::mouseClick(child<QPushButton>("cmdSWO"), Qt::LeftButton);
    }
};

TEST_F(ByteOutput, SendsTheLowByteOfTheHexadecimalText) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"00", 0},
        {"FF", 255},
        {"1A5", 165},
        {"FFFF", 255},
        {"", 0},
        {"zz", 0},
        {"12G4", 18},
        {"ff", 255},
        {"7FFFFFFF", 255},
        {"80000000", 0},
        {"FFFFFF80", 128},
        {" f f ", 255},
        // More than eight digits: the low 32 bits, so the last two digits read.
        {"123456789AB", 0xAB},
        {"FFFFFFFFFFFFFFFFFFFF01", 1},
        {"123456789ABxyz", 0xAB},
        {"-1", 0},
        {"&HFF", 0},
    };
    for (const auto& [hex, byte] : cases) {
        send("0", hex);
        EXPECT_EQ(fake.calls(),
                  (std::vector<std::string>{"Zan_DO(0," + std::to_string(byte) + ")"}))
            << hex;
        EXPECT_EQ(dll.doBuffer[0], byte) << hex;
    }
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(ByteOutput, PassesAnyGroupThatIsAnInteger) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"0", 0},           {"1", 1},           {"1.5", 2},
        {"2.5", 2},         {"15", 15},         {"-1", -1},
        {"32767", 32767},   {"-32768", -32768}, {"-32768.5", -32768},
        {"32766.5", 32766}, {"&HFFFF", -1},     {"abc", 0},
    };
    for (const auto& [group, expected] : cases) {
        send(group, "5");
        EXPECT_EQ(fake.calls(),
                  (std::vector<std::string>{"Zan_DO(" + std::to_string(expected) + ",5)"}))
            << group;
        EXPECT_EQ(child<QLineEdit>("txtswChn")->text(), u(group)) << "never rewritten";
    }
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(ByteOutput, RefusesAGroupOutsideAnIntegerWithAWarningAndGoesOn) {
    for (const char* group : {"32768", "-32769", "32767.5", "1e10", "-1e999999", "&H10000"}) {
        dll.doBuffer[0] = 77;
        warnings.clear();
        send(group, "FF");
        EXPECT_TRUE(fake.calls().empty()) << group;
        EXPECT_EQ(dll.doBuffer[0], 77) << "nothing half-done";
        ASSERT_EQ(warnings.size(), 1) << group;
        EXPECT_EQ(warnings[0],
                  u("通道组“") + u(group) + u("”超出范围（-32768 到 32767），未输出。"));
    }
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_FALSE(window().hasFailed());
    send("1", "A");
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"Zan_DO(1,10)"}));
}

TEST(GroupRefusedMessage, QuotesAtMostFortyCharacters) {
    const std::string digits(41, '9');
    EXPECT_EQ(panel::groupRefusedMessage(digits),
              "通道组“" + digits.substr(0, 40) + "…”超出范围（-32768 到 32767），未输出。");
    std::string chinese, fortyChinese;
    for (int i = 0; i < 41; ++i)
        (i < 40 ? fortyChinese : chinese) += "九";
    chinese = fortyChinese + chinese;
    EXPECT_EQ(panel::groupRefusedMessage(chinese),
              "通道组“" + fortyChinese + "…”超出范围（-32768 到 32767），未输出。")
        << "cut between characters, never inside one";
}

} // namespace
