// Platforms without device notifications of their own: the watcher looks every two seconds instead.
#include "device/PlatformBusWatcher.h"

namespace qb {

std::unique_ptr<PlatformBusWatcher> detail::MakeNativeBusWatcher(Dispatcher&, std::chrono::milliseconds) {
    return nullptr;
}

}  // namespace qb
