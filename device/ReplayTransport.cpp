#include "device/ReplayTransport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "device/DeviceIds.h"

namespace qb {

struct ReplayTransport::State {
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<TraceEntry> entries;
    std::size_t next = 0;  // the first entry not yet played
    std::deque<HidReport> readable;
    std::size_t mismatches = 0;

    // Under the lock: the answers from `next` up to the next report sent to the device become readable.
    void releaseAnswers() {
        for (; next < entries.size() && entries[next].direction == TraceDirection::FromDevice; ++next)
            readable.push_back(entries[next].report);
        answered.notify_all();
    }
};

namespace {

class ReplayHandle : public HidHandle {
public:
    explicit ReplayHandle(std::shared_ptr<ReplayTransport::State> state) : state_(std::move(state)) {}

    bool write(const std::uint8_t* data, std::size_t size) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->next >= state_->entries.size()) {
            ++state_->mismatches;
            return true;
        }
        const HidReport& expected = state_->entries[state_->next++].report;
        if (size != expected.size() || !std::equal(expected.begin(), expected.end(), data)) ++state_->mismatches;
        state_->releaseAnswers();
        return true;
    }

    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(state_->mutex);
        if (!state_->answered.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return !state_->readable.empty(); }))
            return 0;
        const HidReport report = state_->readable.front();
        state_->readable.pop_front();
        // A read delivers the data bytes without the report id.
        const std::size_t n = std::min(capacity, report.size() - 1);
        std::copy_n(report.begin() + 1, n, data);
        return static_cast<int>(n);
    }

private:
    std::shared_ptr<ReplayTransport::State> state_;
};

}  // namespace

ReplayTransport::ReplayTransport(std::vector<TraceEntry> entries, std::string path)
    : path_(std::move(path)), state_(std::make_shared<State>()) {
    state_->entries = std::move(entries);
    state_->releaseAnswers();  // whatever the device sent before it was asked anything
}

ReplayTransport::~ReplayTransport() = default;

std::vector<HidInterfaceInfo> ReplayTransport::enumerate() {
    return {HidInterfaceInfo::Make(kVelmoraVendorId, kQuillanterbrookeProductId, kApplicationRelease, path_)};
}

OpenResult ReplayTransport::open(const std::string& path) {
    if (path != path_) return OpenResult::Failed(OpenFailure::Other);
    return {std::make_unique<ReplayHandle>(state_)};
}

std::size_t ReplayTransport::mismatches() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->mismatches;
}

bool ReplayTransport::finished() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->next >= state_->entries.size();
}

}  // namespace qb
