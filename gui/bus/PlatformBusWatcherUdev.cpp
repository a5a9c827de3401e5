// Linux: a udev monitor on the hidraw subsystem, its socket watched by the event loop. Nothing runs until the
// kernel reports a change.
#include <libudev.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include "gui/bus/PlatformBusWatcher.h"

namespace qb {

namespace {

// One plug brings several events (interface, hidraw node, permissions): they are answered once, this long
// after the last.
constexpr int kSettleMs = 50;

class UdevBusWatcher : public BusWatcher {
public:
    UdevBusWatcher(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
    ~UdevBusWatcher() override {
        notifier_.reset();
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevBusWatcher(const UdevBusWatcher&) = delete;
    UdevBusWatcher& operator=(const UdevBusWatcher&) = delete;

    void start(std::function<void()> changed) override {
        settle_.setSingleShot(true);
        settle_.setInterval(kSettleMs);
        QObject::connect(&settle_, &QTimer::timeout, std::move(changed));
        notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            // Drain every event queued now: the socket stays readable until then.
            while (udev_device* device = udev_monitor_receive_device(monitor_)) udev_device_unref(device);
            settle_.start();
        });
    }

private:
    udev* udev_;
    udev_monitor* monitor_;
    QTimer settle_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

std::unique_ptr<BusWatcher> MakeNativeBusWatcher() {
    udev* context = udev_new();
    if (context == nullptr) return nullptr;
    // Events that udev has finished with (device node made, permissions set) where udev runs; the kernel's
    // own where it does not (containers, minimal systems).
    const bool udevRuns = ::access("/run/udev/control", F_OK) == 0;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, udevRuns ? "udev" : "kernel");
    if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevBusWatcher>(context, monitor);
}

}  // namespace qb
