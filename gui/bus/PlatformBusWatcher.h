// The platform's own device-change notifications, one implementation per platform (chosen by CMake):
// PlatformBusWatcherUdev.cpp, PlatformBusWatcherWin.cpp, PlatformBusWatcherNone.cpp.
#pragma once

#include <memory>

#include "device/BusWatcher.h"

namespace qb {

// Null where the platform has none or it cannot be set up.
std::unique_ptr<BusWatcher> MakeNativeBusWatcher();

}  // namespace qb
