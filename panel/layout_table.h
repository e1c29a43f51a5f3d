#pragma once

#include "panel/controls.h"

#include <array>
#include <variant>

namespace panel {

// Where the builder keeps a control, which also says what kind it is: a label,
// a group box, a text box, a button, a check box or the spinner.
using ControlSlot =
    std::variant<CaptionLabel * Controls::*, FrameBox * Controls::*, QLineEdit * Controls::*,
                 QPushButton * Controls::*, QCheckBox * Controls::*, UpDownSpinner * Controls::*>;

// One control of the window: geometry in twips, relative to its container's
// top-left corner. `index` is the member's index in the Label1 array, or -1.
// `container` is the group box holding it, or null for the window.
// `namedBy` and `describedBy` are the Label1 members whose captions a screen
// reader gives as the control's name and description, or -1.
struct ControlLayout {
    const char* name;
    int index;
    ControlSlot slot;
    const char* caption;
    FrameBox* Controls::*container;
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
    int namedBy = -1;
    int describedBy = -1;
};

constexpr const char* kWindowCaption = "测试及编程源程序";
constexpr int kClientWidthTwips = 5328;
constexpr int kClientHeightTwips = 4284;
// Twips are 1/1440 inch of the screen's logical inch: 15 to a pixel at 96 dots
// per inch, fewer on a screen set to more.
constexpr int kTwipsPerInch = 1440;

constexpr int kTimerIntervalMs = 200;

// The slot of a Label1 member, which is kept by its index.
constexpr CaptionLabel* Controls::*kLabel1 = nullptr;

// name, Label1 index, where it is kept, caption, container, left, top, width,
// height, tab index, and the Label1 members naming and describing the control.
// Containers come before the controls they hold.
// clang-format off
inline constexpr std::array<ControlLayout, 30> kLayout = {{
    // On the window.
    {"Label1", 12, kLabel1, "开关量输入:", nullptr, 120, 120, 996, 180, 21},
    {"lblDI", -1, &Controls::lblDI, "00", nullptr, 1260, 60, 456, 432, 22, -1, 12},
    {"Frame2", -1, &Controls::Frame2, "开关量输入", nullptr, 0, 480, 5268, 1368, 0},
    {"Frame1", -1, &Controls::Frame1, "开关量输出--按字节输出模式", nullptr, 0, 1860, 3720, 1032, 7},
    {"Frame4", -1, &Controls::Frame4, "开关量输入设置", nullptr, 3720, 1860, 1572, 1032, 24},
    {"Frame3", -1, &Controls::Frame3, "开关量输出--按位输出模式", nullptr, 0, 2880, 3792, 1092, 13},
    {"cmdExit", -1, &Controls::cmdExit, "退出", nullptr, 4140, 3420, 972, 432, 23},
    {"Label1", 1, kLabel1, "板卡信息：", nullptr, 60, 4020, 900, 180, 28},
    {"lblInfo", -1, &Controls::lblInfo, "板卡信息", nullptr, 1080, 4020, 720, 180, 29, -1, 1},
    // Digital-input display.
    {"Label1", 4, kLabel1, "位:", &Controls::Frame2, 168, 336, 180, 192, 6},
    {"lblBit", -1, &Controls::lblBit, "Bit", &Controls::Frame2, 930, 300, 180, 195, 2, -1, 4},
    {"Label1", 6, kLabel1, "开关量输入0：", &Controls::Frame2, 168, 696, 948, 192, 5},
    {"lblDI_0", -1, &Controls::lblDI_0, "DI0", &Controls::Frame2, 1320, 690, 240, 195, 3, -1, 6},
    {"Label1", 7, kLabel1, "开关量输入1：", &Controls::Frame2, 144, 1056, 948, 192, 4},
    {"lblDI_1", -1, &Controls::lblDI_1, "DI1", &Controls::Frame2, 1320, 1050, 240, 195, 1, -1, 7},
    // Byte-mode output.
    {"Label1", 9, kLabel1, "通道组（0 或1）：", &Controls::Frame1, 195, 330, 1545, 180, 12},
    {"txtswChn", -1, &Controls::txtswChn, "0", &Controls::Frame1, 2040, 270, 516, 300, 10, 9},
    {"cmdSWO", -1, &Controls::cmdSWO, "输出", &Controls::Frame1, 2700, 450, 768, 336, 8},
    {"Label1", 8, kLabel1, "开关量输出值(hex)：", &Controls::Frame1, 45, 750, 1740, 180, 11},
    {"txtSWO_0", -1, &Controls::txtSWO_0, "00", &Controls::Frame1, 2064, 675, 516, 288, 9, 8},
    // Digital-input settings.
    {"Label1", 0, kLabel1, "字节数：", &Controls::Frame4, 60, 360, 720, 180, 26},
    {"txtInbyteNum", -1, &Controls::txtInbyteNum, "4", &Controls::Frame4, 960, 360, 372, 264, 25, 0},
    {"chkDI", -1, &Controls::chkDI, "使能定时读取", &Controls::Frame4, 120, 660, 1392, 252, 27},
    // Bit-mode output.
    {"Label1", 11, kLabel1, "开关量输出值(0 /1)：", &Controls::Frame3, 90, 360, 1800, 180, 19},
    {"txtDOValue", -1, &Controls::txtDOValue, "0", &Controls::Frame3, 2040, 270, 516, 300, 14, 11, 13},
    {"Label1", 13, kLabel1, "(双击改变)", &Controls::Frame3, 2655, 270, 900, 180, 20},
    {"cmdDOOutput", -1, &Controls::cmdDOOutput, "输出", &Controls::Frame3, 2880, 585, 768, 396, 16},
    {"Label1", 10, kLabel1, "通道号(1-128)：", &Controls::Frame3, 96, 768, 1392, 180, 18},
    {"txtDOChn", -1, &Controls::txtDOChn, "1", &Controls::Frame3, 2064, 675, 516, 288, 15, 10},
    {"UpDownBitNum", -1, &Controls::UpDownBitNum, "", &Controls::Frame3, 2565, 675, 240, 285, 17, 10},
}};
// clang-format on

// What the builder relies on, checked as the table compiles: every Label1
// index a row gives or refers to is one a row makes, and every container is
// made before the controls it holds.
constexpr bool holdsTogether(const std::array<ControlLayout, 30>& layout) {
    auto made = [&layout](int index, std::size_t before) {
        for (std::size_t i = 0; i < before; ++i)
            if (layout[i].index == index)
                return true;
        return false;
    };
    for (std::size_t at = 0; at < layout.size(); ++at) {
        const ControlLayout& row = layout[at];
        if (row.index < -1 || row.index >= static_cast<int>(Controls{}.Label1.size()))
            return false;
        for (int label : {row.namedBy, row.describedBy})
            if (label != -1 && !made(label, layout.size()))
                return false;
        bool containerFirst = row.container == nullptr;
        for (std::size_t i = 0; i < at; ++i)
            if (const auto* frame = std::get_if<FrameBox * Controls::*>(&layout[i].slot))
                containerFirst = containerFirst || *frame == row.container;
        if (!containerFirst)
            return false;
    }
    return true;
}
static_assert(holdsTogether(kLayout), "the layout table refers to what it does not make first");

} // namespace panel
