#include "panel/accessibility.h"
#include "panel/caption_label.h"
#include "panel_fixture.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QSet>

#include <gtest/gtest.h>

#include <vector>

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

TEST(SpokenCaption, DropsColonsAndParentheses) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"通道号(1-128)：", "通道号(1-128)"}, {"位:", "位"},          {"(双击改变)", "双击改变"},
        {"开关量输入:", "开关量输入"},        {"字节数：", "字节数"}, {"退出", "退出"},
    };
    for (const auto& [caption, spoken] : cases)
        EXPECT_EQ(panel::spokenCaption(u(caption)), u(spoken)) << caption;
}

using Accessibility = PanelTest;

QString spoken(QWidget* widget, QAccessible::Text what = QAccessible::Name) {
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(widget);
    return view ? view->text(what) : QString();
}

// What a screen reader hears for each control that takes the focus.
TEST_F(Accessibility, EveryInputControlIsNamedAndNoTwoAlike) {
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"txtInbyteNum", "字节数"},
        {"txtSWO_0", "开关量输出值(hex)"},
        {"txtswChn", "通道组（0 或1）"},
        {"txtDOChn", "通道号(1-128)"},
        {"UpDownBitNum", "通道号(1-128)"},
        {"txtDOValue", "开关量输出值(0 /1)"},
        {"cmdSWO", "输出（开关量输出--按字节输出模式）"},
        {"cmdDOOutput", "输出（开关量输出--按位输出模式）"},
        {"chkDI", "使能定时读取"},
        {"cmdExit", "退出"},
    };
    for (const auto& [name, text] : expected)
        EXPECT_EQ(spoken(child<QWidget>(name)), u(text)) << name;
    EXPECT_EQ(spoken(child<QWidget>("txtDOValue"), QAccessible::Description), u("双击改变"));

    QSet<QString> boxesAndButtons;
    for (QWidget* w : window().findChildren<QWidget*>()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || w->objectName() == "UpDownBitNum")
            continue;
        const QString name = spoken(w);
        EXPECT_FALSE(name.isEmpty()) << w->objectName().toStdString();
        EXPECT_FALSE(boxesAndButtons.contains(name)) << name.toStdString();
        boxesAndButtons.insert(name);
    }
    EXPECT_EQ(boxesAndButtons.size(), 9);
}

TEST_F(Accessibility, ValueLabelsReadAsTheirTextWithWhatTheyShow) {
    const std::vector<std::pair<const char*, const char*>> described = {
        {"lblDI", "开关量输入"}, {"lblDI_0", "开关量输入0"}, {"lblDI_1", "开关量输入1"},
        {"lblBit", "位"},        {"lblInfo", "板卡信息"},
    };
    for (const auto& [name, description] : described) {
        auto* label = child<QWidget>(name);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->role(), QAccessible::StaticText);
        EXPECT_EQ(spoken(label, QAccessible::Description), u(description)) << name;
    }
    child<panel::CaptionLabel>("lblDI")->setCaption("5-8001-0-1234");
    EXPECT_EQ(spoken(child<QWidget>("lblDI")), u("5-8001-0-1234"));
    EXPECT_EQ(label1(10)->buddy(), child<QWidget>("txtDOChn"));
}

} // namespace
