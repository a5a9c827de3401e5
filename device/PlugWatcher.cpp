#include "device/PlugWatcher.h"

#include <optional>

#include "device/DeviceIds.h"
#include "device/DeviceLink.h"

namespace qb {

PlugWatcher::PlugWatcher(Transport& transport, std::unique_ptr<PlatformBusWatcher> watcher)
    : transport_(transport), watcher_(std::move(watcher)), encoderIds_(RevisionSubstring(std::nullopt)) {}

void PlugWatcher::start(Handler changed) {
    changed_ = std::move(changed);
    watcher_->watch([this](const BusEvents& events) { look(events); });
    look({});
}

void PlugWatcher::look(const BusEvents& events) {
    tracker_.events(events);
    std::vector<HidInterfaceInfo> encoders;
    for (HidInterfaceInfo& info : transport_.enumerate())
        if (MatchesRevision(info, encoderIds_)) encoders.push_back(std::move(info));
    tracker_.look(encoders);
    if (changed_ && (!tracker_.removed().empty() || !tracker_.added().empty()))
        changed_(tracker_.removed(), tracker_.added());
}

}  // namespace qb
