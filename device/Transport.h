// The platform's HID layer as the device link needs it. Real backend: hidapi; the simulated device
// implements the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qb {

struct HidInterfaceInfo {
    // The interface's hardware ids in the platform's spelling, first one first, e.g.
    // "HID\VID_04D8&PID_FD37&REV_0004". Only the first one is used for matching.
    std::vector<std::string> hardwareIds;
    std::string path;  // what open() takes
};

// One open handle on a device path. write() and read() may run on different threads at once; a handle is
// never destroyed while a read on it is running.
class HidHandle {
public:
    virtual ~HidHandle() = default;
    // Writes one report: `size` bytes, byte 0 the report id 0. True if all of it was handed to the device.
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    // Waits up to `timeoutMs` for one input report and stores its data bytes, without the report id, at
    // `data` (at most `capacity`). Returns the number of bytes stored, 0 if none arrived in time, -1 if the
    // device is gone or the handle is broken.
    virtual int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) = 0;
};

class Transport {
public:
    virtual ~Transport() = default;
    // The HID interfaces present now, each path once. Called on one thread only.
    virtual std::vector<HidInterfaceInfo> enumerate() = 0;
    // Opens `path`; nullptr on failure. Called on the same thread as enumerate().
    virtual std::unique_ptr<HidHandle> open(const std::string& path) = 0;
};

// Builds the first hardware id as the platform spells it: HID\VID_xxxx&PID_xxxx&REV_xxxx (hex, upper case).
std::string MakeHardwareId(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t release);

}  // namespace qb
