// The 46 configuration controls held in memory: what the command line and the tests use in place of a window.
#pragma once

#include <array>
#include <string>

#include "config/ConfigView.h"
#include "config/KeyTable.h"

namespace qb {

class MemoryConfigView : public ConfigView {
public:
    // The window's design values: key names as legends and messages, lines 1..4 and 5..8, no baud rate
    // selected, no parity, one stop bit.
    MemoryConfigView() {
        for (const KeyInfo& key : kKeys) {
            legends[key.legendIndex] = std::u16string(1, static_cast<char16_t>(key.legend));
            labels[key.legendIndex] = legends[key.legendIndex];
            messages[key.legendIndex] = legends[key.legendIndex];
        }
        for (int i = 0; i < 4; ++i) {
            columns[i] = 1 + i;
            rows[i] = 5 + i;
        }
    }

    int columnLine(int column) const override { return columns.at(column); }
    void setColumnLine(int column, int value) override { columns.at(column) = value; }
    int rowLine(int row) const override { return rows.at(row); }
    void setRowLine(int row, int value) override { rows.at(row) = value; }

    std::u16string legendText(int legendIndex) const override { return legends.at(legendIndex); }
    // The legend edit's change handler: the key's message label follows its legend.
    void setLegendText(int legendIndex, const std::u16string& text) override {
        legends.at(legendIndex) = text;
        labels.at(legendIndex) = text;
    }
    std::u16string messageText(int legendIndex) const override { return messages.at(legendIndex); }
    void setMessageText(int legendIndex, const std::u16string& text) override { messages.at(legendIndex) = text; }

    int baudIndex() const override { return baud; }
    void setBaudIndex(int index) override { baud = (index >= 0 && index <= 6) ? index : -1; }

    bool isChecked(RadioButton button) const override { return checked.at(static_cast<std::size_t>(button)); }
    void check(RadioButton button) override {
        const bool parity = IsParity(button);
        for (std::size_t i = 0; i < checked.size(); ++i)
            if (IsParity(static_cast<RadioButton>(i)) == parity) checked[i] = false;
        checked.at(static_cast<std::size_t>(button)) = true;
    }

    std::array<int, 4> columns{};
    std::array<int, 4> rows{};
    std::array<std::u16string, kKeyCount> legends;
    std::array<std::u16string, kKeyCount> labels;  // the message labels beside the message edits
    std::array<std::u16string, kKeyCount> messages;
    int baud = -1;
    std::array<bool, 5> checked{true, false, false, true, false};  // indexed by RadioButton

private:
    static bool IsParity(RadioButton b) {
        return b == RadioButton::NoParity || b == RadioButton::EvenParity || b == RadioButton::OddParity;
    }
};

}  // namespace qb
