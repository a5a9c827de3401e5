// The window's bus watchers: the platform's for the real HID layer, its batches handed to the window's thread, and
// the simulated device's plug changes with --simulate.
#pragma once

#include <memory>

#include "device/BusWatcher.h"

namespace qb {

class Dispatcher;
class Transport;

// The watcher that suits `transport`; what it sees runs on `dispatcher`'s thread.
std::unique_ptr<BusWatcher> MakeWindowBusWatcher(Transport& transport, Dispatcher& dispatcher);

}  // namespace qb
