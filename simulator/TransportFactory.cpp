#include "simulator/TransportFactory.h"

#include <cstdlib>
#include <ostream>
#include <string>

#include "device/PlatformTransport.h"
#include "simulator/SimulatedDevice.h"

namespace qb {

std::unique_ptr<Transport> makeTransport(bool simulate) {
    // --simulate: a simulated device, plugged in with its default identity, stands in for the hardware.
    if (simulate) return std::make_unique<SimulatedDevice>();
    return std::make_unique<PlatformTransport>();
}

std::unique_ptr<Transport> MakeCommandLineTransport(bool simulate, bool fresh, std::ostream& warnings) {
    if (!simulate) return makeTransport(false);
    auto device = std::make_unique<SimulatedDevice>();
    const auto warn = [&warnings](const std::string& text) { warnings << text << '\n' << std::flush; };
    const std::filesystem::path state = SimulatorStatePath();
    std::string error;
    if (state.empty())
        warn("No cache folder (HOME is not set): the simulated device will not keep what is written into it.");
    else if (fresh && !ForgetSimulatorState(state, error))
        warn(error);
    if (!state.empty()) device->keepStateIn(state, warn);
    if (const char* keys = std::getenv("QB_SIMULATOR_KEYS"); keys && *keys) {
        std::vector<ScriptedPress> script = ParseKeyScript(keys, error);
        if (script.empty())
            warn("QB_SIMULATOR_KEYS ignored: " + error + ".");
        else
            device->setKeyScript(std::move(script));
    }
    return device;
}

}  // namespace qb
