// The 46 configuration controls of the main window, as the transfer between window and record sees them.
#pragma once

#include <string>

namespace qb {

enum class RadioButton { NoParity, EvenParity, OddParity, StopBit1, StopBit2 };

class ConfigView {
public:
    virtual ~ConfigView() = default;

    // CSpinEdit1..4 (column 0..3) and RowCSpinEdit1..4 (row 0..3).
    virtual int columnLine(int column) const = 0;
    virtual void setColumnLine(int column, int value) = 0;
    virtual int rowLine(int row) const = 0;
    virtual void setRowLine(int row, int value) = 0;

    // Legend and message edits, addressed by the key's row-major index (KeyInfo::legendIndex).
    // Setting a legend runs its change handler (the message label follows it).
    virtual std::u16string legendText(int legendIndex) const = 0;
    virtual void setLegendText(int legendIndex, const std::u16string& text) = 0;
    virtual std::u16string messageText(int legendIndex) const = 0;
    virtual void setMessageText(int legendIndex, const std::u16string& text) = 0;

    // BaudRateComboBox item index, -1 for no selection; an index outside 0..6 clears the selection.
    virtual int baudIndex() const = 0;
    virtual void setBaudIndex(int index) = 0;

    // Checking a radio button clears the other buttons of its group.
    virtual bool isChecked(RadioButton button) const = 0;
    virtual void check(RadioButton button) = 0;
};

}  // namespace qb
