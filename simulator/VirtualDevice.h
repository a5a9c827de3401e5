// The keypad encoder as a device of the running kernel (Linux, through /dev/uhid), answered by DeviceModel: the
// unmodified tool finds it, opens it through hidraw and talks to it exactly as to the hardware.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "device/HidReport.h"
#include "simulator/DeviceModel.h"

namespace qb {

struct VirtualDeviceOptions {
    bool programMode = false;  // the firmware loader's release (0001) instead of the application's (0004)
    std::chrono::milliseconds answerDelay{0};
    std::string product = "VELMORA Quillanterbrooke";  // the uhid name: hidapi's product string
    std::string serial;                                // the uhid uniq: hidapi's serial number string
    int keyDown = 0;                                   // 0 none, 1..16 the key's number
};

// What a control line asked for beyond what it changed itself.
enum class ControlResult { Done, Quit, Bad };

class VirtualDevice {
public:
    using Clock = std::chrono::steady_clock;

    // `uhidFd` is /dev/uhid opened for reading and writing (tests pass a socket playing the kernel); not owned.
    VirtualDevice(int uhidFd, const VirtualDeviceOptions& options);
    // Destroys the kernel device if it is plugged in.
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // Creates the kernel device (UHID_CREATE2) / destroys it (UHID_DESTROY): the device appears / is unplugged.
    bool plugIn();
    bool unplug();
    bool pluggedIn() const { return plugged_; }
    // The USB serial number string from the next plug-in on.
    void setSerialNumber(std::string serial) { options_.serial = std::move(serial); }

    // Takes one event from the kernel: an output report is answered through the model (after the answer delay);
    // report requests are refused. False when the kernel side failed (see error()).
    bool handleKernelEvent();
    // Sends every answer whose time has come; the earliest still waiting, if any.
    bool sendDueAnswers(Clock::time_point now);
    std::optional<Clock::time_point> nextAnswerDue() const;

    // One line of the control channel: "key N" (held key, 0 for none), "delay MS", "unplug", "replug",
    // "unplug-after N" (unplug on the N-th report from now, unanswered), "mode program" / "mode application"
    // (re-plugged in that mode), "quit". Blank lines and lines starting with '#' do nothing.
    ControlResult control(std::string_view line);

    // Plugs in, then runs until "quit", end of `controlFd` (-1: no control channel), SIGINT or SIGTERM, or a
    // kernel failure; unplugs. Returns the process exit status. (VirtualBench runs several.)
    int run(int controlFd);
    int fd() const { return fd_; }

    // Every report received, report id first (65 bytes), before it is answered.
    std::function<void(const HidReport&)> onReport;
    // What happens, one line each ("plugged in", "unplugged", ...).
    std::function<void(const std::string&)> onStatus;
    // The kernel device was just created (true) or destroyed (false), whatever asked for it.
    std::function<void(bool plugged)> onPlug;

    const std::string& error() const { return error_; }
    DeviceModel model;

private:
    struct PendingAnswer {
        Clock::time_point due;
        DeviceModel::Answer data;
    };

    bool writeEvent(const void* event, std::size_t size);
    bool takeReport(const std::uint8_t* data, std::size_t size);
    void status(const std::string& line);
    bool fail(const std::string& what);

    int fd_;
    VirtualDeviceOptions options_;
    bool plugged_ = false;
    int unplugAfter_ = 0;  // 0: off
    std::deque<PendingAnswer> pending_;
    std::string error_;
};

// The report descriptor: usage page 0xFF00, one 64-byte input and one 64-byte output report, no report ids.
std::span<const std::uint8_t> VirtualDeviceDescriptor();

}  // namespace qb
