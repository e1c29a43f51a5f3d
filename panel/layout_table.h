#pragma once

#include <array>

namespace panel {

enum class ControlKind { Label, GroupBox, TextBox, Button, CheckBox, Spinner };

// One control of the window: geometry in twips, relative to its container's
// top-left corner. `index` is the member's index in the Label1 array, or -1.
// `container` is the name of the group box holding it, or null for the window.
// `namedBy` and `describedBy` are the Label1 members whose captions a screen
// reader gives as the control's name and description, or -1.
struct ControlLayout {
    const char* name;
    int index;
    ControlKind kind;
    const char* caption;
    const char* container;
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

// Containers come before the controls they hold.
extern const std::array<ControlLayout, 30> kLayout;

} // namespace panel
