// The bus watchers of the window: the platform's for the real HID layer (a udev monitor on Linux, the
// system's device-arrival notifications on Windows, an enumeration every two seconds elsewhere), and the
// simulated device's plug changes with --simulate.
#pragma once

#include <functional>
#include <memory>

#include "device/BusWatcher.h"

namespace qb {

class Transport;

// The watcher that suits `transport`.
std::unique_ptr<BusWatcher> MakeBusWatcher(Transport& transport);

// The platform's own; falls back to polling where the platform's mechanism cannot be set up.
std::unique_ptr<BusWatcher> MakePlatformBusWatcher();

// An enumeration every two seconds: for platforms that tell nothing.
std::unique_ptr<BusWatcher> MakePollingBusWatcher();

}  // namespace qb
