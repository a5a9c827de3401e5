#include "simulator/TransportFactory.h"

#include "device/PlatformTransport.h"
#include "simulator/SimulatedDevice.h"

namespace qb {

std::unique_ptr<Transport> makeTransport(bool simulate) {
    // --simulate: a simulated device, plugged in with its default identity, stands in for the hardware.
    if (simulate) return std::make_unique<SimulatedDevice>();
    return std::make_unique<PlatformTransport>();
}

}  // namespace qb
