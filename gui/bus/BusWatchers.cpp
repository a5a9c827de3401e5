#include "gui/bus/BusWatchers.h"

#include <QObject>
#include <QTimer>

#include "gui/bus/PlatformBusWatcher.h"
#include "simulator/SimulatedDevice.h"

namespace qb {

namespace {

constexpr int kPollIntervalMs = 2000;

class PollingBusWatcher : public BusWatcher {
public:
    void start(std::function<void()> changed) override {
        timer_.setInterval(kPollIntervalMs);
        QObject::connect(&timer_, &QTimer::timeout, std::move(changed));
        timer_.start();
    }

private:
    QTimer timer_;
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

std::unique_ptr<BusWatcher> MakePollingBusWatcher() {
    return std::make_unique<PollingBusWatcher>();
}

std::unique_ptr<BusWatcher> MakePlatformBusWatcher() {
    if (std::unique_ptr<BusWatcher> own = MakeNativeBusWatcher()) return own;
    return MakePollingBusWatcher();
}

std::unique_ptr<BusWatcher> MakeBusWatcher(Transport& transport) {
    if (auto* device = dynamic_cast<SimulatedDevice*>(&transport))
        return std::make_unique<SimulatedPlugWatcher>(*device);
    return MakePlatformBusWatcher();
}

}  // namespace qb
