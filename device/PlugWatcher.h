// The encoders plugged in and out, as plugs: after each of the bus watcher's batches the bus is enumerated and
// the plug tracker tells what came and went. What a loop that takes one encoder after another stands on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/PlatformBusWatcher.h"
#include "device/PlugTracker.h"
#include "device/Transport.h"

namespace qb {

// Lives on the thread of the dispatcher the bus watcher was made for, which is also the one that uses the
// transport.
class PlugWatcher {
public:
    using Handler = std::function<void(const std::vector<Plug>& removed, const std::vector<Plug>& added)>;

    PlugWatcher(Transport& transport, std::unique_ptr<PlatformBusWatcher> watcher);

    // Looks at once (every encoder already plugged in is added), then after each of the watcher's batches; the
    // handler runs whenever a look found a change, removals first.
    void start(Handler changed);
    // One more look now, for a caller that has its own reason to think the bus changed.
    void lookNow() { look({}); }
    const std::vector<Plug>& present() const { return tracker_.present(); }
    const char* kind() const { return watcher_->kind(); }

private:
    void look(const BusEvents& events);

    Transport& transport_;
    std::unique_ptr<PlatformBusWatcher> watcher_;
    PlugTracker tracker_;
    Handler changed_;
    std::string encoderIds_;
};

}  // namespace qb
