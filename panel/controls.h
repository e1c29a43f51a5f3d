#pragma once

#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace panel {

class CaptionLabel;
class FrameBox;
class UpDownSpinner;

// The window's controls as the builder made them, typed: what the handlers
// and the screen-reader names use, without looking anything up by name.
struct Controls {
    FrameBox* Frame1 = nullptr;
    FrameBox* Frame2 = nullptr;
    FrameBox* Frame3 = nullptr;
    FrameBox* Frame4 = nullptr;
    CaptionLabel* lblDI = nullptr;
    CaptionLabel* lblInfo = nullptr;
    CaptionLabel* lblBit = nullptr;
    CaptionLabel* lblDI_0 = nullptr;
    CaptionLabel* lblDI_1 = nullptr;
    QCheckBox* chkDI = nullptr;
    QLineEdit* txtswChn = nullptr;
    QLineEdit* txtSWO_0 = nullptr;
    QLineEdit* txtInbyteNum = nullptr;
    QLineEdit* txtDOValue = nullptr;
    QLineEdit* txtDOChn = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdSWO = nullptr;
    QPushButton* cmdDOOutput = nullptr;
    UpDownSpinner* UpDownBitNum = nullptr;
    // The static captions, by their index in the Label1 array (2, 3 and 5 unused).
    std::array<CaptionLabel*, 14> Label1{};
};

} // namespace panel
