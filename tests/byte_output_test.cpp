#include "panel_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>
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

TEST_F(ByteOutput, SendsTheGroupAndTheLowByteLeavingTheBoxes) {
    const std::vector<std::tuple<const char*, const char*, const char*>> cases = {
        {"0", "00", "Zan_DO(0,0)"},
        {"1.5", "1A5", "Zan_DO(2,165)"},
        {"-32768", "ff", "Zan_DO(-32768,255)"},
        {"abc", "123456789AB", "Zan_DO(0,171)"},
    };
    for (const auto& [group, hex, call] : cases) {
        send(group, hex);
        EXPECT_EQ(fake.calls(), (std::vector<std::string>{call})) << group << ' ' << hex;
        EXPECT_EQ(child<QLineEdit>("txtswChn")->text(), u(group)) << "never rewritten";
        EXPECT_EQ(child<QLineEdit>("txtSWO_0")->text(), u(hex)) << "never rewritten";
    }
    EXPECT_EQ(dll.doBuffer[0], 171);
    EXPECT_TRUE(errors.isEmpty());
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

} // namespace
