// Shared by the window's tests (Qt skin and presenter): scripted file dialogs, and a device that holds what a write
// of a known configuration left.
#pragma once

#include <filesystem>
#include <optional>
#include <utility>

#include "config/FileFlows.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "protocol/DeviceImage.h"
#include "simulator/SimulatedDevice.h"

namespace qb::test {

// The file dialogs: each answer is given once; none is a cancel.
class ScriptedChooser : public FileChooser {
public:
    std::optional<std::filesystem::path> open, save;
    int saveCalls = 0;
    std::optional<std::filesystem::path> chooseFileToOpen() override { return std::exchange(open, std::nullopt); }
    std::optional<std::filesystem::path> chooseFileToSave() override {
        ++saveCalls;
        return std::exchange(save, std::nullopt);
    }
};

// The device holds the defaults but 57600 baud and key 5's message "Hi" CR, as a write would leave them.
inline void HoldFastAndHiOnKey5(SimulatedDevice& device) {
    KeypadConfig held;
    ApplyDefaults(held);
    held.Settings[kBaudCodeOffset] = 6;
    const char text[] = "Hi\\0D";
    std::copy(std::begin(text), std::end(text), Slot(held.Messages, std::size_t(kKeys[5].slot)));  // key "5"
    MessageBlock translated{};
    TranslateMessages(held.Messages, translated);
    const DeviceImage image = WrittenImage(held.Settings, translated);
    for (std::size_t n = 0; n < kBlockCount; ++n) device.setBlock(n, image.blocks[n]);
}

}  // namespace qb::test
