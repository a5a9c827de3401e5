#include "gui/bus/PlatformBusWatcher.h"

namespace qb {

std::unique_ptr<BusWatcher> MakeNativeBusWatcher() {
    return nullptr;
}

}  // namespace qb
