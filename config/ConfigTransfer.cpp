#include "config/ConfigTransfer.h"

#include <algorithm>
#include <string>

#include "config/Codepage.h"
#include "config/ConfigView.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"

namespace qb {

namespace {

constexpr int kLineCount = 4;  // four columns, four rows

template <typename Config>
auto SlotOf(Config& config, const KeyInfo& key) {
    return Slot(config.Messages, static_cast<std::size_t>(key.slot));
}

}  // namespace

void PackConfig(const ConfigView& view, KeypadConfig& config) {
    auto& s = config.Settings;
    for (int i = 0; i < kLineCount; ++i)
        s[kColumnLinesOffset + i] = static_cast<std::uint8_t>(view.columnLine(i) & 0xFF);
    for (int i = 0; i < kLineCount; ++i) s[kRowLinesOffset + i] = static_cast<std::uint8_t>(view.rowLine(i) & 0xFF);

    // A legend is one byte: the first of the text's 8-bit form, 0 for none.
    for (const KeyInfo& key : kKeys) {
        const std::string legend = ToAnsi(view.legendText(key.legendIndex));
        s[kLegendsOffset + key.legendIndex] = legend.empty() ? 0 : static_cast<std::uint8_t>(legend[0]);
    }

    // Stored as typed; only the start of the slot is overwritten, the bytes after the new terminator stay.
    for (const KeyInfo& key : kKeys) {
        const std::string message = ToAnsi(view.messageText(key.legendIndex));
        const std::string_view text = CutToWholeCharacters(message, kMaxMessageBytes);
        std::uint8_t* slot = SlotOf(config, key);
        std::copy(text.begin(), text.end(), slot);
        slot[text.size()] = 0;
    }

    s[kBaudCodeOffset] = static_cast<std::uint8_t>(view.baudIndex() & 0xFF);  // no selection (-1) gives 255

    // Only even and odd are read; neither on means no parity.
    std::uint8_t parity = 0;
    if (view.isChecked(RadioButton::EvenParity)) parity = 1;
    if (view.isChecked(RadioButton::OddParity)) parity = 2;
    s[kParityCodeOffset] = parity;

    s[kStopBitsOffset] = view.isChecked(RadioButton::StopBit2) ? 2 : 1;
}

void UnpackConfig(const KeypadConfig& config, ConfigView& view) {
    const auto& s = config.Settings;
    for (int i = 0; i < kLineCount; ++i) view.setColumnLine(i, s[kColumnLinesOffset + i]);
    for (int i = 0; i < kLineCount; ++i) view.setRowLine(i, s[kRowLinesOffset + i]);

    for (const KeyInfo& key : kKeys) {
        const std::uint8_t legend = s[kLegendsOffset + key.legendIndex];
        view.setLegendText(key.legendIndex,
                           legend == 0 ? std::u16string() : FromAnsi(std::string(1, static_cast<char>(legend))));
    }

    for (const KeyInfo& key : kKeys) view.setMessageText(key.legendIndex, FromAnsi(SlotText(SlotOf(config, key))));

    // Codes beyond the list leave it without a selection.
    view.setBaudIndex(s[kBaudCodeOffset]);

    // An unknown parity code leaves the buttons as they are; any stop-bit value but 2 means one stop bit.
    switch (s[kParityCodeOffset]) {
        case 0:
            view.check(RadioButton::NoParity);
            break;
        case 1:
            view.check(RadioButton::EvenParity);
            break;
        case 2:
            view.check(RadioButton::OddParity);
            break;
        default:
            break;
    }
    view.check(s[kStopBitsOffset] == 2 ? RadioButton::StopBit2 : RadioButton::StopBit1);
}

}  // namespace qb
