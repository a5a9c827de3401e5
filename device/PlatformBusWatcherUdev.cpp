// Linux: a udev monitor on the hidraw subsystem, read on the watcher's own thread. Where no udev daemon runs
// (containers, minimal systems) the kernel's own events are read instead; they carry the same action, node
// and sequence number, only before udev has set the node's permissions.
#include <libudev.h>
#include <unistd.h>

#include <cstring>

#include "device/PlatformBusWatcher.h"

namespace qb {

namespace {

class UdevEventSource : public BusEventSource {
public:
    UdevEventSource(udev* context, udev_monitor* monitor, bool fromKernel)
        : udev_(context), monitor_(monitor), fromKernel_(fromKernel) {}
    ~UdevEventSource() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevEventSource(const UdevEventSource&) = delete;
    UdevEventSource& operator=(const UdevEventSource&) = delete;

    int fd() const override { return udev_monitor_get_fd(monitor_); }
    BusEvents drain() override {
        BusEvents events;
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            BusEvent event;
            const char* action = udev_device_get_action(device);
            if (action && std::strcmp(action, "add") == 0) event.action = BusEvent::Action::Added;
            if (action && std::strcmp(action, "remove") == 0) event.action = BusEvent::Action::Removed;
            if (const char* node = udev_device_get_devnode(device)) event.node = node;
            event.sequence = udev_device_get_seqnum(device);
            events.push_back(std::move(event));
            udev_device_unref(device);
        }
        return events;
    }
    const char* kind() const override { return fromKernel_ ? "kernel" : "udev"; }

private:
    udev* udev_;
    udev_monitor* monitor_;
    bool fromKernel_;
};

}  // namespace

std::unique_ptr<PlatformBusWatcher> detail::MakeNativeBusWatcher(Dispatcher& dispatcher,
                                                                 std::chrono::milliseconds settle) {
    udev* context = udev_new();
    if (context == nullptr) return nullptr;
    const bool udevRuns = ::access("/run/udev/control", F_OK) == 0;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, udevRuns ? "udev" : "kernel");
    if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return MakeSourceBusWatcher(std::make_unique<UdevEventSource>(context, monitor, !udevRuns), dispatcher, settle);
}

}  // namespace qb
