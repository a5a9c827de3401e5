// Hands a bus watcher's batches from its thread to the dispatcher's, where they run while the watcher lives.
#pragma once

#include <memory>
#include <mutex>

#include "device/Dispatcher.h"
#include "device/PlatformBusWatcher.h"

namespace qb {

class BusDelivery {
public:
    explicit BusDelivery(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}
    void setHandler(PlatformBusWatcher::EventsHandler handler);
    // From the watching thread; dropped before a handler is set or after close().
    void post(BusEvents events);
    // On the dispatcher's thread, once the watching thread has ended: queued batches are dropped.
    void close();

private:
    Dispatcher& dispatcher_;
    std::mutex mutex_;
    std::shared_ptr<PlatformBusWatcher::EventsHandler> handler_;
};

}  // namespace qb
