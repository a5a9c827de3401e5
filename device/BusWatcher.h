// Tells when the set of attached devices may have changed, so the presence is looked at again only then and
// never on a timer of its own. Linux: a udev monitor; Windows: the system's device-arrival notifications;
// elsewhere an enumeration every two seconds; with --simulate, the simulated device's plug changes.
#pragma once

#include <functional>

namespace qb {

class BusWatcher {
public:
    virtual ~BusWatcher() = default;
    // `changed` runs on the window's thread after every change (possibly also after changes that do not
    // concern the device), until the watcher is destroyed.
    virtual void start(std::function<void()> changed) = 0;
};

}  // namespace qb
