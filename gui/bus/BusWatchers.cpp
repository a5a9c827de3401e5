#include "gui/bus/BusWatchers.h"

#include <QObject>

#include "device/PlatformBusWatcher.h"
#include "gui/QtDispatcher.h"
#include "simulator/SimulatedDevice.h"

namespace qb {

namespace {

// The platform's watcher, its batches run on the window's thread.
class WindowBusWatcher : public BusWatcher {
public:
    WindowBusWatcher() : watcher_(MakePlatformBusWatcher(dispatcher_)) {}

    void start(std::function<void()> changed) override { watcher_->start(std::move(changed)); }

private:
    QtDispatcher dispatcher_;  // outlives the watcher, which stops first
    std::unique_ptr<PlatformBusWatcher> watcher_;
};

// The simulated device tells of its plug changes on the thread that made them; the change is handed to the
// window's thread.
class SimulatedPlugWatcher : public BusWatcher {
public:
    explicit SimulatedPlugWatcher(SimulatedDevice& device) : device_(device) {}
    ~SimulatedPlugWatcher() override { device_.setPlugListener(nullptr); }
    SimulatedPlugWatcher(const SimulatedPlugWatcher&) = delete;
    SimulatedPlugWatcher& operator=(const SimulatedPlugWatcher&) = delete;

    void start(std::function<void()> changed) override {
        device_.setPlugListener([this, changed = std::move(changed)] {
            QMetaObject::invokeMethod(&context_, changed, Qt::QueuedConnection);
        });
    }

private:
    SimulatedDevice& device_;
    QObject context_;  // queued calls die with it
};

}  // namespace

std::unique_ptr<BusWatcher> MakeBusWatcher(Transport& transport) {
    if (auto* device = dynamic_cast<SimulatedDevice*>(&transport))
        return std::make_unique<SimulatedPlugWatcher>(*device);
    return std::make_unique<WindowBusWatcher>();
}

}  // namespace qb
