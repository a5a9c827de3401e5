// Tells when the set of attached devices may have changed, so the presence is looked at again only then and
// never on a timer of its own. Linux: a udev monitor; Windows: the system's device-arrival notifications;
// elsewhere an enumeration every two seconds; with --simulate, the simulated device's plug changes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qb {

// One change the platform reported, as far as it tells.
struct BusEvent {
    enum class Action { Added, Removed, Other };
    Action action = Action::Other;
    std::string node;            // the device node (udev) or interface path (Windows); empty where not told
    std::uint64_t sequence = 0;  // the kernel's event number (udev), rising; 0 where the platform has none
};
using BusEvents = std::vector<BusEvent>;

class BusWatcher {
public:
    virtual ~BusWatcher() = default;
    // `changed` runs on the window's thread after every change (possibly also after changes that do not
    // concern the device), until the watcher is destroyed.
    virtual void start(std::function<void()> changed) = 0;
};

}  // namespace qb
