#include "panel/board_info.h"
#include "panel_fixture.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using panel::boardInfoCaption;

TEST(BoardInfoCaption, JoinsTheFieldsWithOnlyStrBlanks) {
    EXPECT_EQ(boardInfoCaption(80, 12, 3), "卡名：ZAN 80 12类型： 3");
    EXPECT_EQ(boardInfoCaption(0, 0, 0), "卡名：ZAN 0 0类型： 0");
    EXPECT_EQ(boardInfoCaption(255, 255, 255), "卡名：ZAN 255 255类型： 255");
}

using BoardInfo = PanelTest;

TEST_F(BoardInfo, AsksOnceAndShowsBytesZeroOneAndFour) {
    fake.setReply({80, 12, 77, 66, 3, 55});
    EXPECT_EQ(panel::readBoardInfo(dll), "卡名：ZAN 80 12类型： 3");
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"IOCtl(100,70,64,0,100)"}));
    EXPECT_EQ(fake.lastBuffer(), dll.boardInfoReply.data());
    EXPECT_TRUE(std::all_of(dll.boardInfoRequest.begin() + 3, dll.boardInfoRequest.end(),
                            [](auto b) { return b == 0; }));
}

TEST_F(BoardInfo, AnUntouchedReplyShowsZeros) {
    EXPECT_EQ(panel::readBoardInfo(dll), "卡名：ZAN 0 0类型： 0");
}

// The driver's result is not narrowed: a value outside an Integer does not end the program.
TEST_F(BoardInfo, AnyResultOfTheCallIsDropped) {
    for (std::int32_t result : {0, -1, 32768, -32769, 0x7FFFFFFF}) {
        fake.setIOCtlResult(result);
        EXPECT_EQ(panel::readBoardInfo(dll), "卡名：ZAN 0 0类型： 0") << result;
    }
}

TEST_F(BoardInfo, FormLoadWritesTheLabelInPlace) {
    fake.setReply({80, 12, 0, 0, 3});
    QLabel* info = child<QLabel>("lblInfo");
    const QPoint corner = info->pos();
    const int width = info->width();
    ASSERT_TRUE(window().load());
    EXPECT_EQ(info->text(), QString::fromUtf8("卡名：ZAN 80 12类型： 3"));
    EXPECT_EQ(info->pos(), corner);
    EXPECT_GT(info->width(), width);
    EXPECT_TRUE(errors.isEmpty());
}

} // namespace
