// The platform's HID layer as the device link needs it. Real backends: hidapi (Linux, macOS) and the Windows
// device set-up interface; the simulated device implements the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
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
    // A second handle on the same connection (the other direction), sharing its hold on the device: a backend
    // whose open() holds the device against other programs must give one, or the second open would be refused
    // as in use. Null where the path may simply be opened again.
    virtual std::unique_ptr<HidHandle> duplicate() { return nullptr; }
};

// Why an open failed: the reasons a user can do something about are told apart.
enum class OpenFailure {
    None,
    AccessDenied,  // this user may not open the device
    InUse,         // another program has the device open for a session of its own
    Other,
};

struct OpenResult {
    std::unique_ptr<HidHandle> handle;  // null on failure
    OpenFailure failure = OpenFailure::None;
    // InUse: the program holding the device, e.g. "quillanterbrooke-cli, process 1234"; empty where the platform
    // does not tell.
    std::string holder{};

    static OpenResult Failed(OpenFailure why, std::string holder = {}) { return {nullptr, why, std::move(holder)}; }
};

// What an open would meet now, learnt without disturbing anyone: None where it would succeed.
struct OpenCheck {
    OpenFailure failure = OpenFailure::None;
    std::string holder{};  // as OpenResult's
};

class Transport {
public:
    virtual ~Transport() = default;
    // The HID interfaces present now, each path once. Called on one thread only.
    virtual std::vector<HidInterfaceInfo> enumerate() = 0;
    // Opens `path` for a session. Where the platform can, the device is held until the handle and its duplicates
    // are closed: another program's open meanwhile fails with InUse, so no two programs read each other's
    // answers. Called on the same thread as enumerate().
    virtual OpenResult open(const std::string& path) = 0;
    // Learns whether open(path) would succeed, without ever making another program's open fail (the status
    // line looks at devices while other programs may be starting sessions). The default opens and closes: right
    // for a transport whose open holds nothing.
    virtual OpenCheck probe(const std::string& path);
};

}  // namespace qb
