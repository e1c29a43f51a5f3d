#include "layout_table.h"

namespace panel {

using K = ControlKind;

// name, Label1 index, kind, caption, container, left, top, width, height, tab
// index, and the Label1 members naming and describing the control.

const std::array<ControlLayout, 30> kLayout = {{
    // On the window.
    {"Label1", 12, K::Label, "开关量输入:", nullptr, 120, 120, 996, 180, 21},
    {"lblDI", -1, K::Label, "00", nullptr, 1260, 60, 456, 432, 22, -1, 12},
    {"Frame2", -1, K::GroupBox, "开关量输入", nullptr, 0, 480, 5268, 1368, 0},
    {"Frame1", -1, K::GroupBox, "开关量输出--按字节输出模式", nullptr, 0, 1860, 3720, 1032, 7},
    {"Frame4", -1, K::GroupBox, "开关量输入设置", nullptr, 3720, 1860, 1572, 1032, 24},
    {"Frame3", -1, K::GroupBox, "开关量输出--按位输出模式", nullptr, 0, 2880, 3792, 1092, 13},
    {"cmdExit", -1, K::Button, "退出", nullptr, 4140, 3420, 972, 432, 23},
    {"Label1", 1, K::Label, "板卡信息：", nullptr, 60, 4020, 900, 180, 28},
    {"lblInfo", -1, K::Label, "板卡信息", nullptr, 1080, 4020, 720, 180, 29, -1, 1},
    // Digital-input display.
    {"Label1", 4, K::Label, "位:", "Frame2", 168, 336, 180, 192, 6},
    {"lblBit", -1, K::Label, "Bit", "Frame2", 930, 300, 180, 195, 2, -1, 4},
    {"Label1", 6, K::Label, "开关量输入0：", "Frame2", 168, 696, 948, 192, 5},
    {"lblDI_0", -1, K::Label, "DI0", "Frame2", 1320, 690, 240, 195, 3, -1, 6},
    {"Label1", 7, K::Label, "开关量输入1：", "Frame2", 144, 1056, 948, 192, 4},
    {"lblDI_1", -1, K::Label, "DI1", "Frame2", 1320, 1050, 240, 195, 1, -1, 7},
    // Byte-mode output.
    {"Label1", 9, K::Label, "通道组（0 或1）：", "Frame1", 195, 330, 1545, 180, 12},
    {"txtswChn", -1, K::TextBox, "0", "Frame1", 2040, 270, 516, 300, 10, 9},
    {"cmdSWO", -1, K::Button, "输出", "Frame1", 2700, 450, 768, 336, 8},
    {"Label1", 8, K::Label, "开关量输出值(hex)：", "Frame1", 45, 750, 1740, 180, 11},
    {"txtSWO_0", -1, K::TextBox, "00", "Frame1", 2064, 675, 516, 288, 9, 8},
    // Digital-input settings.
    {"Label1", 0, K::Label, "字节数：", "Frame4", 60, 360, 720, 180, 26},
    {"txtInbyteNum", -1, K::TextBox, "4", "Frame4", 960, 360, 372, 264, 25, 0},
    {"chkDI", -1, K::CheckBox, "使能定时读取", "Frame4", 120, 660, 1392, 252, 27},
    // Bit-mode output.
    {"Label1", 11, K::Label, "开关量输出值(0 /1)：", "Frame3", 90, 360, 1800, 180, 19},
    {"txtDOValue", -1, K::TextBox, "0", "Frame3", 2040, 270, 516, 300, 14, 11, 13},
    {"Label1", 13, K::Label, "(双击改变)", "Frame3", 2655, 270, 900, 180, 20},
    {"cmdDOOutput", -1, K::Button, "输出", "Frame3", 2880, 585, 768, 396, 16},
    {"Label1", 10, K::Label, "通道号(1-128)：", "Frame3", 96, 768, 1392, 180, 18},
    {"txtDOChn", -1, K::TextBox, "1", "Frame3", 2064, 675, 516, 288, 15, 10},
    {"UpDownBitNum", -1, K::Spinner, "", "Frame3", 2565, 675, 240, 285, 17, 10},
}};

} // namespace panel
