// The bus watchers of the window: the platform's for the real HID layer (device/PlatformBusWatcher.h, its
// batches handed to the window's thread through Qt's event loop), and the simulated device's plug changes with
// --simulate.
#pragma once

#include <memory>

#include "device/BusWatcher.h"

namespace qb {

class Transport;

// The watcher that suits `transport`.
std::unique_ptr<BusWatcher> MakeBusWatcher(Transport& transport);

}  // namespace qb
