#include "win32/ControlTable.h"

#include "config/KeyTable.h"
#include "config/KeypadConfig.h"

namespace qb::win32 {

namespace {

// The Qt window's numbers: the keypad group top left, the button column beside it, the serial settings top right
// with the device information under them, the messages along the bottom.
constexpr int kMargin = 28, kTop = 24;
constexpr int kGroup1X = kMargin, kGroup1Y = kTop, kGroup1W = 409, kGroup1H = 321;
constexpr int kPanelX = kGroup1X + 116, kPanelY = kGroup1Y + 24, kPanelW = 265, kPanelH = 192;
constexpr int kCellLeft = 20, kCellTop = 16, kCellPitchX = 64, kCellPitchY = 44;
constexpr int kLegendW = 33, kLegendH = 28;
constexpr int kSpinW = 49, kSpinH = 22;
constexpr int kButtonX = 456, kButtonW = 113, kButtonH = 25, kButtonPitch = 40;
constexpr int kGroup3W = 265, kGroup3H = 185, kGroup3X = kClientWidth - kMargin - kGroup3W, kGroup3Y = kTop;
constexpr int kGroup2X = kMargin, kGroup2Y = kTop + kGroup1H + 24, kGroup2W = 825, kGroup2H = 193;
constexpr int kMessageCellW = 200, kMessagePitch = 38, kMessageLabelW = 36, kMessageEditW = 150;
constexpr int kStatusY = kDesignedHeight + kOptionsHeight;
// A drop-down list's height includes its open list.
constexpr int kListDrop = 200;

int RowCentre(int row) {
    return kPanelY + kCellTop + row * kCellPitchY + kLegendH / 2;
}
int ColumnCentre(int column) {
    return kPanelX + kCellLeft + column * kCellPitchX + kLegendW / 2;
}
int MessageX(const KeyInfo& key) {
    return kGroup2X + 16 + (key.column - 1) * kMessageCellW;
}
int MessageY(const KeyInfo& key) {
    return kGroup2Y + 30 + (key.row - 1) * kMessagePitch;
}
std::u16string Ascii(const std::string& text) {
    return {text.begin(), text.end()};
}
std::u16string KeyName(const KeyInfo& key) {
    return std::u16string(1, static_cast<char16_t>(key.legend));
}

std::vector<ControlDesign> MakeDesign() {
    std::vector<ControlDesign> d;
    const auto add = [&d](std::string name, ControlKind kind, int x, int y, int w, int h, std::u16string caption) {
        d.push_back({std::move(name), kind, x, y, w, h, std::move(caption)});
        return &d.back();
    };
    // The controls Tab visits, in its order: the grid column by column, the line selectors, the test button, the
    // button column, the serial settings, the messages row by row, the memo, the options, the status line.
    for (int slot = 0; slot < kKeyCount; ++slot) {
        const KeyInfo& key = KeyBySlot(slot);
        ControlDesign* edit = add("SwitchEdit" + std::string(key.suffix), ControlKind::Edit,
                                  kPanelX + kCellLeft + (key.column - 1) * kCellPitchX,
                                  kPanelY + kCellTop + (key.row - 1) * kCellPitchY, kLegendW, kLegendH, KeyName(key));
        edit->legendIndex = key.legendIndex;
        edit->maxLength = 1;
        edit->align = Align::Centre;
        edit->font = Font::Legend;
    }
    for (int row = 0; row < 4; ++row)
        add("RowCSpinEdit" + std::to_string(row + 1), ControlKind::SpinEdit, kGroup1X + 56, RowCentre(row) - kSpinH / 2,
            kSpinW, kSpinH, Ascii(std::to_string(5 + row)));
    for (int column = 0; column < 4; ++column)
        add("CSpinEdit" + std::to_string(column + 1), ControlKind::SpinEdit, ColumnCentre(column) - kSpinW / 2,
            kPanelY + kPanelH + 10, kSpinW, kSpinH, Ascii(std::to_string(1 + column)));
    add("TestkeypadButton", ControlKind::Button, kGroup1X + 12, kGroup1Y + kGroup1H - 12 - kButtonH, kButtonW, kButtonH,
        u"Test Keypad");
    const char* buttons[][2] = {
        {"LoadButton", "Load File"},         {"SaveButton", "Save File"}, {"WriteButton", "Write To VELMORA"},
        {"ReadButton", "Read From VELMORA"}, {"HelpButton", "Help"},      {"ExitButton", "Exit"}};
    for (int row = 0; row < 6; ++row)
        add(buttons[row][0], ControlKind::Button, kButtonX, kTop + 8 + row * kButtonPitch, kButtonW, kButtonH,
            Ascii(buttons[row][1]));

    add("BaudRateComboBox", ControlKind::DropList, kGroup3X + 88, kGroup3Y + 26, 97, 24 + kListDrop, u"");
    const int group4X = kGroup3X + 16, group5X = kGroup3X + 136, groupsY = kGroup3Y + 64;
    add("StopBitRadioButton1", ControlKind::Radio, group4X + 12, groupsY + 26, 88, 20, u"1 Stop bit")->radioGroup = 1;
    add("StopBitRadioButton2", ControlKind::Radio, group4X + 12, groupsY + 52, 88, 20, u"2 Stop bits")->radioGroup = 1;
    add("NoParityRadioButton", ControlKind::Radio, group5X + 12, groupsY + 26, 90, 20, u"None")->radioGroup = 2;
    add("EvenParityRadioButton", ControlKind::Radio, group5X + 12, groupsY + 52, 90, 20, u"Even")->radioGroup = 2;
    add("OddParityRadioButton", ControlKind::Radio, group5X + 12, groupsY + 78, 90, 20, u"Odd")->radioGroup = 2;

    for (const KeyInfo& key : kKeys)
        add("OutStringEdit" + std::string(key.suffix), ControlKind::Edit, MessageX(key) + kMessageLabelW + 4,
            MessageY(key), kMessageEditW, 22, KeyName(key))
            ->maxLength = static_cast<int>(kMaxMessageBytes);
    add("LogMemo", ControlKind::Memo, kClientWidth - kMargin - 185, kTop + kGroup3H + 12, 185, 77, u"");

    add("VerifyWritesCheckBox", ControlKind::CheckBox, kMargin, kDesignedHeight, 260, 22,
        u"Verify writes (read back and compare)");
    add("ReadMessagesCheckBox", ControlKind::CheckBox, kMargin + 280, kDesignedHeight, 300, 22,
        u"Read messages too (firmware that serves them)");
    add("BackupCheckBox", ControlKind::CheckBox, kMargin + 600, kDesignedHeight, 220, 22, u"Back up before writing");
    add("DeviceChooser", ControlKind::DropList, 262, kStatusY + 2, 200, 24 + kListDrop, u"");
    add("BackupsButton", ControlKind::Button, kClientWidth - 8 - 88, kStatusY + 2, 88, 24, u"Backups...");

    // What Tab passes over: labels above the frames they stand in, the frames last.
    for (int row = 0; row < 4; ++row)
        add("Label" + std::to_string(row + 1), ControlKind::Label, kGroup1X + 12, RowCentre(row) - 8, 40, 16,
            Ascii("Row " + std::to_string(row + 1)));
    for (int column = 0; column < 4; ++column)
        add("Label" + std::to_string(5 + column), ControlKind::Label, ColumnCentre(column) - 24, kPanelY + kPanelH + 36,
            48, 16, Ascii("Col " + std::to_string(column + 1)))
            ->align = Align::Centre;
    add("Label9", ControlKind::Label, kGroup3X + 16, kGroup3Y + 28, 64, 20, u"Baud Rate");
    for (const KeyInfo& key : kKeys) {
        ControlDesign* label = add("OutStringLabel" + std::string(key.suffix), ControlKind::Label, MessageX(key),
                                   MessageY(key), kMessageLabelW, 22, KeyName(key));
        label->align = Align::Right;
        label->font = Font::BoldLabel;
    }
    // The chooser, when shown, stands over the end of the presence text, which is short then.
    add("PresenceText", ControlKind::Label, 8, kStatusY + 4, 454, 20, u"");
    add("NoteText", ControlKind::Label, 466, kStatusY + 4, 180, 20, u"");
    add("ProgressText", ControlKind::Label, 650, kStatusY + 4, 130, 20, u"");
    add("Panel1", ControlKind::Panel, kPanelX, kPanelY, kPanelW, kPanelH, u"");
    add("GroupBox4", ControlKind::GroupBox, group4X, groupsY, 105, 105, u"Stop bits");
    add("GroupBox5", ControlKind::GroupBox, group5X, groupsY, 113, 105, u"Parity");
    add("GroupBox1", ControlKind::GroupBox, kGroup1X, kGroup1Y, kGroup1W, kGroup1H, u"Define Keypad");
    add("GroupBox3", ControlKind::GroupBox, kGroup3X, kGroup3Y, kGroup3W, kGroup3H, u"Serial Port Settings");
    add("GroupBox2", ControlKind::GroupBox, kGroup2X, kGroup2Y, kGroup2W, kGroup2H, u"Serial Port Messages");
    return d;
}

}  // namespace

const std::vector<ControlDesign>& MainFormDesign() {
    static const std::vector<ControlDesign> design = MakeDesign();
    return design;
}

std::optional<int> ControlId(std::string_view name) {
    const auto& design = MainFormDesign();
    for (std::size_t i = 0; i < design.size(); ++i)
        if (design[i].name == name) return kFirstControlId + static_cast<int>(i);
    return std::nullopt;
}

}  // namespace qb::win32
