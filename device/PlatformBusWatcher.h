// The platform's bus watcher without a toolkit: a thread of its own waits for the platform's device
// notifications and hands each settled batch to a Dispatcher's thread (the window's QtDispatcher, the command
// line's QueueDispatcher). Linux: a udev monitor (the kernel's own events where no udev daemon runs); Windows:
// a message-only window receiving the HID interface's arrivals and removals; elsewhere, or where neither can be
// set up, a look every two seconds. One file per platform, chosen by CMake.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "device/BusWatcher.h"

namespace qb {

class Dispatcher;

// One plug brings several events (interface, hidraw node, permissions): answered once, this long after the last.
inline constexpr std::chrono::milliseconds kBusSettleTime{50};
// Where the platform tells nothing: how often the devices are looked at.
inline constexpr std::chrono::milliseconds kBusPollInterval{2000};

// Gathers events until none came for the settle time. Plain logic, the time passed in.
class BusSettler {
public:
    using Clock = std::chrono::steady_clock;

    explicit BusSettler(std::chrono::milliseconds settle) : settle_(settle) {}
    // Events that arrived at `now`; none at all still counts as a change ("look again").
    void add(BusEvents events, Clock::time_point now);
    // When the gathered batch is due, if one is gathered.
    std::optional<Clock::time_point> due() const { return due_; }
    // The batch if its time has come.
    std::optional<BusEvents> take(Clock::time_point now);

private:
    std::chrono::milliseconds settle_;
    std::optional<Clock::time_point> due_;
    BusEvents gathered_;
};

class PlatformBusWatcher : public BusWatcher {
public:
    using EventsHandler = std::function<void(const BusEvents&)>;

    // Destroyed on the dispatcher's thread; stops the watching thread at once.
    ~PlatformBusWatcher() override = default;

    // `changed` runs on the dispatcher's thread with the events of each settled batch (empty where the platform
    // tells none), until the watcher is destroyed. Called once.
    virtual void watch(EventsHandler changed) = 0;
    void start(std::function<void()> changed) final;
    // What watches: "udev", "kernel" (netlink without udev), "windows", "polling".
    virtual const char* kind() const = 0;
};

// The platform's own; a look every `pollInterval` where it has none or it cannot be set up. Never null.
std::unique_ptr<PlatformBusWatcher> MakePlatformBusWatcher(Dispatcher& dispatcher,
                                                           std::chrono::milliseconds settle = kBusSettleTime,
                                                           std::chrono::milliseconds pollInterval = kBusPollInterval);
// A look every `interval`, nothing else.
std::unique_ptr<PlatformBusWatcher> MakePollingBusWatcher(Dispatcher& dispatcher, std::chrono::milliseconds interval);

#ifndef _WIN32
// Where the platform's events come through a file descriptor (the udev monitor's socket; a pipe in tests).
class BusEventSource {
public:
    virtual ~BusEventSource() = default;
    virtual int fd() const = 0;
    // Every event readable now, without waiting.
    virtual BusEvents drain() = 0;
    virtual const char* kind() const = 0;
};
// Waits for `source` with poll() and a wake pipe, so destroying it returns at once.
std::unique_ptr<PlatformBusWatcher> MakeSourceBusWatcher(std::unique_ptr<BusEventSource> source, Dispatcher& dispatcher,
                                                         std::chrono::milliseconds settle);
#endif

namespace detail {
// The platform's own watcher; null where it has none or it cannot be set up (PlatformBusWatcher*.cpp).
std::unique_ptr<PlatformBusWatcher> MakeNativeBusWatcher(Dispatcher& dispatcher, std::chrono::milliseconds settle);
}  // namespace detail

}  // namespace qb
