// Several virtual encoders in one process, as a workshop's bench has them: each its own /dev/uhid device with
// its own serial number, plugged in and out on command, one of them perhaps keeping a wrong byte.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simulator/VirtualDevice.h"

namespace qb {

class VirtualBench {
public:
    // `devices` are not owned; encoder N is devices[N - 1]. Numbered, each device's lines go to onStatus as
    // "encoder N: ..." and each plug and unplug adds an event line (PlugEventLine); a bench of one unnumbered
    // device is that device as it always was.
    explicit VirtualBench(std::vector<VirtualDevice*> devices, bool numbered = false);
    // Takes back what it gave the devices to call: a device unplugged later tells nobody.
    ~VirtualBench();
    VirtualBench(const VirtualBench&) = delete;
    VirtualBench& operator=(const VirtualBench&) = delete;

    // One control line: "plug N", "unplug N", "swap A B" (A unplugged and B plugged in at once), "fault N on|off"
    // (N keeps a wrong settings byte, so a verification of its write fails), "N LINE" (a device's own line for
    // encoder N alone); any other line goes to every encoder (VirtualDevice::control).
    ControlResult control(std::string_view line);
    // Plugs every encoder in if `plugAll`, then runs until "quit", end of `controlFd` (-1: none), SIGINT or
    // SIGTERM, or a kernel failure; unplugs all. Returns the process exit status.
    int run(int controlFd, bool plugAll);

    std::function<void(const std::string&)> onStatus;

private:
    VirtualDevice* encoder(std::string_view number) const;
    void say(const std::string& line);

    std::vector<VirtualDevice*> devices_;
    bool numbered_;
};

// "event plug|unplug N serial=S monotonic=SECONDS realtime=SECONDS": when encoder N was plugged in or out, on the
// system's monotonic clock and as seconds since 1970 (UTC), to the microsecond.
std::string PlugEventLine(bool plugged, int number, const std::string& serial);

// A control line's first word and the rest, both without surrounding blanks; a whole number in [min, max].
std::pair<std::string_view, std::string_view> SplitControlWord(std::string_view line);
std::optional<int> ControlNumber(std::string_view text, int min, int max);

}  // namespace qb
