// Which plug each attached interface is: an identity that lasts from plug to unplug, even where the system
// hands the next device the same path (Linux reuses /dev/hidraw0 at once). Built from successive enumerations
// and the bus watcher's events between them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/BusWatcher.h"
#include "device/Transport.h"

namespace qb {

struct Plug {
    std::uint64_t id = 0;  // 1, 2, ... in the order the plugs were seen; never given twice
    HidInterfaceInfo info;
};

// Lives on one thread: the one that enumerates.
class PlugTracker {
public:
    // The watcher's events, in the order they came, before the enumeration they led to.
    void events(const BusEvents& events);
    // What an enumeration shows now; added() and removed() then tell what changed since the last look.
    // A path present at both looks is a new plug when an event said it went away in between, or when the
    // interface there is another one (serial number or hardware id). Where the platform tells nothing, a device
    // unplugged and plugged back in between two looks is the same plug.
    void look(const std::vector<HidInterfaceInfo>& interfaces);

    const std::vector<Plug>& added() const { return added_; }
    const std::vector<Plug>& removed() const { return removed_; }
    const std::vector<Plug>& present() const { return present_; }

private:
    enum class Seen { Added, Removed, RemovedThenAdded };

    std::vector<Plug> present_;
    std::vector<Plug> added_;
    std::vector<Plug> removed_;
    std::map<std::string, Seen> seen_;  // by path, since the last look
    std::uint64_t lastSequence_ = 0;
    std::uint64_t nextId_ = 1;
};

}  // namespace qb
