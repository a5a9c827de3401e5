#include "device/PlugTracker.h"

#include <algorithm>
#include <cctype>

namespace qb {

namespace {

// Windows names an interface's path in either case; elsewhere the path is the device node.
std::string PathKey(const std::string& path) {
#ifdef _WIN32
    std::string key = path;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    return key;
#else
    return path;
#endif
}

bool SameInterface(const HidInterfaceInfo& a, const HidInterfaceInfo& b) {
    return a.serialNumber == b.serialNumber && a.hardwareIds == b.hardwareIds;
}

}  // namespace

void PlugTracker::events(const BusEvents& events) {
    for (const BusEvent& event : events) {
        if (event.node.empty() || event.action == BusEvent::Action::Other) continue;
        // An event told twice (a batch handed over again) changes nothing the second time.
        if (event.sequence != 0) {
            if (event.sequence <= lastSequence_) continue;
            lastSequence_ = event.sequence;
        }
        const std::string key = PathKey(event.node);
        const auto found = seen_.find(key);
        if (event.action == BusEvent::Action::Removed) {
            seen_[key] = Seen::Removed;
        } else if (found == seen_.end()) {
            seen_[key] = Seen::Added;
        } else if (found->second == Seen::Removed) {
            found->second = Seen::RemovedThenAdded;
        }
    }
}

void PlugTracker::look(const std::vector<HidInterfaceInfo>& interfaces) {
    added_.clear();
    removed_.clear();
    std::map<std::string, const HidInterfaceInfo*> now;
    for (const HidInterfaceInfo& info : interfaces) now.emplace(PathKey(info.path), &info);
    const auto seen = [this](const std::string& key) -> std::optional<Seen> {
        const auto found = seen_.find(key);
        if (found == seen_.end()) return std::nullopt;
        return found->second;
    };

    std::vector<Plug> kept;
    for (Plug& plug : present_) {
        const std::string key = PathKey(plug.info.path);
        const auto there = now.find(key);
        const std::optional<Seen> event = seen(key);
        const bool gone =
            there == now.end() || (event && *event != Seen::Added) || !SameInterface(plug.info, *there->second);
        if (gone) {
            removed_.push_back(std::move(plug));
        } else {
            plug.info = *there->second;  // a release or a product text may read differently now
            kept.push_back(std::move(plug));
            now.erase(there);
        }
    }
    present_ = std::move(kept);
    for (const HidInterfaceInfo& info : interfaces) {
        const std::string key = PathKey(info.path);
        if (now.count(key) == 0) continue;  // kept above
        // The last word on this path was its removal: what enumeration still shows there is on its way out.
        if (seen(key) == Seen::Removed) continue;
        now.erase(key);
        Plug plug{nextId_++, info};
        added_.push_back(plug);
        present_.push_back(std::move(plug));
    }
    seen_.clear();
}

}  // namespace qb
