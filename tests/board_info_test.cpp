#include "panel_fixture.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

using BoardInfo = PanelTest;

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
