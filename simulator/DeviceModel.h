// What the keypad encoder does with each report: the model behind the simulated device and the virtual device.
// It keeps the 17 blocks written to it and answers every report with exactly one input report. Not thread-safe:
// its owner serialises the calls.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "device/DeviceIds.h"
#include "device/HidReport.h"
#include "protocol/Reports.h"

namespace qb {

class DeviceModel {
public:
    // What a read delivers: report bytes 1..64, without the report id.
    static constexpr std::size_t kAnswerSize = kReportSize - 1;
    using Answer = std::array<std::uint8_t, kAnswerSize>;

    // What a new device holds: the default configuration, each key's message its legend, in the blocks a write
    // of it leaves.
    static std::array<BlockImage, kBlockCount> NewDeviceBlocks();

    // Takes one output report (65 bytes, report id first), stores what it carries and returns the answer.
    Answer answer(const HidReport& report);

    // What the device is.
    std::uint16_t release = kApplicationRelease;  // seen by the next search
    std::array<std::uint8_t, 3> identity{0, 1, 3};
    std::int32_t serial = 1;
    std::string version = "1.00";  // cut at 55 bytes in the answer
    std::uint8_t keyDown = 0;      // 0 none, 1..16 the key's number
    std::array<BlockImage, kBlockCount> blocks = NewDeviceBlocks();

    // A fault: the device stores a wrong value at this byte of this block whenever a write brings it.
    struct StoreFault {
        std::size_t block = 0;
        std::size_t offset = 0;
    };
    std::optional<StoreFault> storeFault;
    // Firmware that serves only the settings block answers a read of any block with block 0.
    bool servesMessageBlocks = true;
};

}  // namespace qb
