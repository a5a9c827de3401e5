// The window's controls as designed: name, kind, place in the client area (pixels at 96 dpi) and caption, in the
// order they are made, which on Windows is also their tab order. The window makes them from this table; a program
// driving the window from outside finds a control's id here by its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::win32 {

enum class ControlKind {
    Button,
    CheckBox,
    Radio,
    Edit,      // one line
    SpinEdit,  // an edit with an up-down control beside it, 1..8
    Memo,      // read-only, several lines
    DropList,  // pick-only drop-down list
    Label,
    GroupBox,
    Panel,
};

enum class Align { Left, Centre, Right };
enum class Font { Window, Legend, BoldLabel };  // Tahoma 8, MS Sans Serif 12, MS Sans Serif 8 bold

struct ControlDesign {
    std::string name;
    ControlKind kind;
    int x, y, width, height;
    std::u16string caption;
    int legendIndex = -1;  // legend edits: the key's row-major index
    int maxLength = 0;     // edits: the most characters they take; 0 for the default
    int radioGroup = 0;    // radio buttons: the group that one checked clears (1 stop bits, 2 parity)
    Align align = Align::Left;
    Font font = Font::Window;
};

// The client area: the designed 882 x 599, the options row and the status line under it.
inline constexpr int kClientWidth = 882;
inline constexpr int kDesignedHeight = 599;
inline constexpr int kOptionsHeight = 28;
inline constexpr int kStatusHeight = 28;
inline constexpr int kClientHeight = kDesignedHeight + kOptionsHeight + kStatusHeight;
inline constexpr int kSpinMinimum = 1, kSpinMaximum = 8;

const std::vector<ControlDesign>& MainFormDesign();
// Control ids: the table's index plus this.
inline constexpr int kFirstControlId = 100;
std::optional<int> ControlId(std::string_view name);

}  // namespace qb::win32
