// The platform's HID layer as the device link needs it. Real backends: hidapi (Linux, macOS) and the Windows
// device set-up interface; the simulated device implements the same interface.
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
    std::string path;           // what open() takes
    std::uint16_t release = 0;  // the first id's release, for showing; 0 where the platform does not tell
    std::string serialNumber;   // empty when the device has none

    // An interface whose first hardware id is built from its numbers.
    static HidInterfaceInfo Make(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t release,
                                 std::string path);
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
    // A handle whose reads can be woken from another thread blocks without a time-out (timeoutMs -1), so a
    // silent device costs no wake-ups at all. interruptRead() makes the running read and every later one
    // return 0 at once.
    virtual bool readsInterruptible() const { return false; }
    virtual void interruptRead() {}
};

// Why an open failed: the one reason a user can do something about is told apart.
enum class OpenFailure { None, AccessDenied, Other };

struct OpenResult {
    std::unique_ptr<HidHandle> handle;  // null on failure
    OpenFailure failure = OpenFailure::None;

    static OpenResult Failed(OpenFailure why) { return {nullptr, why}; }
};

class Transport {
public:
    virtual ~Transport() = default;
    // The HID interfaces present now, each path once. Called on one thread only.
    virtual std::vector<HidInterfaceInfo> enumerate() = 0;
    // Opens `path`. Called on the same thread as enumerate().
    virtual OpenResult open(const std::string& path) = 0;
};

}  // namespace qb
