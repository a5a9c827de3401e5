#include "presenter/BusWatchers.h"

#include "device/Dispatcher.h"
#include "device/PlatformBusWatcher.h"
#include "simulator/SimulatedDevice.h"

namespace qb {

namespace {

// The simulated device tells of its plug changes on the thread that made them; the change is handed to the
// window's thread.
class SimulatedPlugWatcher : public BusWatcher {
public:
    SimulatedPlugWatcher(SimulatedDevice& device, Dispatcher& dispatcher) : device_(device), dispatcher_(dispatcher) {}
    ~SimulatedPlugWatcher() override { device_.setPlugListener(nullptr); }
    SimulatedPlugWatcher(const SimulatedPlugWatcher&) = delete;
    SimulatedPlugWatcher& operator=(const SimulatedPlugWatcher&) = delete;

    void start(std::function<void()> changed) override {
        // A change handed over after this watcher is gone is dropped.
        device_.setPlugListener([this, changed = std::move(changed), alive = std::weak_ptr<int>(alive_)] {
            dispatcher_.post([changed, alive] {
                if (alive.lock()) changed();
            });
        });
    }

private:
    SimulatedDevice& device_;
    Dispatcher& dispatcher_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace

std::unique_ptr<BusWatcher> MakeWindowBusWatcher(Transport& transport, Dispatcher& dispatcher) {
    if (auto* device = dynamic_cast<SimulatedDevice*>(&transport))
        return std::make_unique<SimulatedPlugWatcher>(*device, dispatcher);
    return MakePlatformBusWatcher(dispatcher);
}

}  // namespace qb
