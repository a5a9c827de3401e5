#include "simulator/SimulatedDevice.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "device/Trace.h"
#include "simulator/DeviceModel.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kDataSize = DeviceModel::kAnswerSize;
using AnswerData = DeviceModel::Answer;

// Like the platform's input buffer: a handle nobody reads keeps only the newest reports.
constexpr std::size_t kHandleQueueLimit = 64;

struct Answer {
    Clock::time_point readyAt;
    AnswerData data;
};

class SimHandle;

// A real device's answer wakes the reader the moment it arrives; the model waits for a point in time
// instead, and the kernel's default timer slack (50 us on Linux) would make every answer that much late.
constexpr std::chrono::microseconds kSpinSpan{200};

void PreciseWakeUps() {
#if defined(__linux__)
    thread_local const bool done = [] {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        return true;
    }();
    (void)done;
#endif
}

}  // namespace

struct SimulatedDevice::Core {
    mutable std::mutex mutex;
    mutable std::condition_variable cv;

    DeviceModel model;
    std::string serialString;

    bool manualClock = false;
    Clock::time_point manualNow{};
    std::chrono::nanoseconds delay{0};
    int dropCount = 0;
    bool duplicateNext = false;
    bool refuseOpens = false;
    OpenFailure refusal = OpenFailure::Other;
    std::string holderName;
    bool plugged = true;

    std::filesystem::path statePath;  // empty: nothing kept
    std::function<void(const std::string&)> warn;
    std::vector<ScriptedPress> script;
    Clock::time_point scriptStart{};

    std::vector<HidReport> received;
    SimulatedDeviceCounters counters;
    std::vector<SimHandle*> handles;

    // Under the lock.
    Clock::time_point now() const { return manualClock ? manualNow : Clock::now(); }
    void queueAnswer(const AnswerData& data, Clock::time_point readyAt);
    OpenResult openLocked(const std::shared_ptr<Core>& self);
    OpenCheck checkLocked() const;
    std::unique_ptr<HidHandle> addHandle(const std::shared_ptr<Core>& self);
};

namespace {

class SimHandle : public HidHandle {
public:
    explicit SimHandle(std::shared_ptr<SimulatedDevice::Core> core) : core_(std::move(core)) {}
    ~SimHandle() override {
        std::lock_guard<std::mutex> lock(core_->mutex);
        auto& list = core_->handles;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        --core_->counters.openHandles;
        ++core_->counters.closedHandles;
    }
    SimHandle(const SimHandle&) = delete;
    SimHandle& operator=(const SimHandle&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) override {
        std::optional<DeviceBlocks> toKeep;
        std::filesystem::path keepAt;
        std::function<void(const std::string&)> warn;
        {
            std::lock_guard<std::mutex> lock(core_->mutex);
            SimulatedDeviceCounters& counters = core_->counters;
            ++counters.writes;
            if (dead || size == 0 || size > kReportSize) {
                ++counters.failedWrites;
                return false;
            }
            writer = true;
            HidReport report{};  // a short write reaches the device zero-padded
            std::copy(data, data + size, report.begin());
            core_->received.push_back(report);
            ++counters.reportsReceived;
            if (!core_->script.empty() && report[1] == kCmdKeyPoll)
                core_->model.keyDown =
                    static_cast<std::uint8_t>(ScriptedKeyAt(core_->script, core_->now() - core_->scriptStart));
            const AnswerData answer = core_->model.answer(report);
            core_->queueAnswer(answer, core_->now() + core_->delay);
            if (report[1] == kCmdWriteEnd && !core_->statePath.empty()) {
                toKeep = core_->model.blocks;
                keepAt = core_->statePath;
                warn = core_->warn;
            }
        }
        core_->cv.notify_all();
        // Saved outside the lock: the answer is readable meanwhile.
        if (toKeep) {
            std::string error;
            if (!SaveSimulatorState(keepAt, *toKeep, error) && warn) warn(error);
        }
        return true;
    }

    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        PreciseWakeUps();
        std::unique_lock<std::mutex> lock(core_->mutex);
        // The time-out is real time (the reader's stop checks); when an answer is ready is the device's time.
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            if (dead) return -1;
            if (interrupted) return 0;
            if (!queue.empty() && queue.front().readyAt <= core_->now()) {
                const std::size_t n = std::min(capacity, kDataSize);
                std::copy_n(queue.front().data.begin(), n, data);
                queue.pop_front();
                ++core_->counters.answersDelivered;
                return static_cast<int>(n);
            }
            const Clock::time_point now = Clock::now();
            if (timeoutMs >= 0 && now >= deadline) return 0;
            if (queue.empty() || core_->manualClock) {
                // Woken by a write, an unplug or the manual clock moving on.
                if (timeoutMs < 0)
                    core_->cv.wait(lock);
                else
                    core_->cv.wait_until(lock, deadline);
            } else {
                const Clock::time_point ready = queue.front().readyAt;
                const Clock::time_point until = timeoutMs < 0 ? ready : std::min(deadline, ready);
                if (until - now > kSpinSpan) {
                    core_->cv.wait_until(lock, until - kSpinSpan);
                } else {
                    // The last stretch is spun, so the answer is readable when the device says.
                    lock.unlock();
                    while (Clock::now() < until) std::this_thread::yield();
                    lock.lock();
                }
            }
        }
    }

    bool readsInterruptible() const override { return true; }
    std::unique_ptr<HidHandle> duplicate() override {
        std::lock_guard<std::mutex> lock(core_->mutex);
        return core_->addHandle(core_);
    }
    void interruptRead() override {
        {
            std::lock_guard<std::mutex> lock(core_->mutex);
            interrupted = true;
        }
        core_->cv.notify_all();
    }

    // Guarded by the core's mutex.
    bool dead = false;
    bool writer = false;  // has been written to: the connection's write handle, whose answers nobody reads
    bool interrupted = false;
    std::deque<Answer> queue;

private:
    std::shared_ptr<SimulatedDevice::Core> core_;
};

}  // namespace

void SimulatedDevice::Core::queueAnswer(const AnswerData& data, Clock::time_point readyAt) {
    if (dropCount > 0) {
        --dropCount;
        ++counters.answersDropped;
        return;
    }
    const int copies = duplicateNext ? 2 : 1;
    duplicateNext = false;
    for (int c = 0; c < copies; ++c) {
        ++counters.answersQueued;
        // Every open handle sees every input report, as with the platform's HID drivers.
        for (SimHandle* handle : handles) {
            if (handle->dead) continue;
            auto& queue = handle->queue;
            auto at = std::upper_bound(queue.begin(), queue.end(), readyAt,
                                       [](Clock::time_point t, const Answer& a) { return t < a.readyAt; });
            queue.insert(at, Answer{readyAt, data});
            if (queue.size() > kHandleQueueLimit) queue.pop_front();
        }
    }
}

OpenCheck SimulatedDevice::Core::checkLocked() const {
    if (!plugged) return {OpenFailure::Other, {}};
    if (refuseOpens) return {refusal, {}};
    // A dead handle belongs to the device as it was before an unplug: it holds nothing any more.
    const bool held = std::any_of(handles.begin(), handles.end(), [](const SimHandle* h) { return !h->dead; });
    if (held) return {OpenFailure::InUse, holderName};
    return {};
}

std::unique_ptr<HidHandle> SimulatedDevice::Core::addHandle(const std::shared_ptr<Core>& self) {
    auto handle = std::make_unique<SimHandle>(self);
    handles.push_back(handle.get());
    ++counters.opens;
    ++counters.openHandles;
    return handle;
}

OpenResult SimulatedDevice::Core::openLocked(const std::shared_ptr<Core>& self) {
    OpenCheck check = checkLocked();
    if (check.failure != OpenFailure::None) {
        ++counters.refusedOpens;
        return OpenResult::Failed(check.failure, std::move(check.holder));
    }
    return {addHandle(self)};
}

SimulatedDevice::SimulatedDevice(std::string path) : path_(std::move(path)), core_(std::make_shared<Core>()) {}

SimulatedDevice::~SimulatedDevice() {
    // Handles still open fail from now on, like those of a device that went away. Nobody is told.
    plugListener_ = nullptr;
    unplug();
}

HidInterfaceInfo SimulatedDevice::interfaceInfo() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    HidInterfaceInfo info =
        HidInterfaceInfo::Make(kVelmoraVendorId, kQuillanterbrookeProductId, core_->model.release, path_);
    std::string any = info.hardwareIds.front();
    any.resize(any.rfind('&'));  // the second id: without the release
    info.hardwareIds.push_back(any);
    info.serialNumber = core_->serialString;
    return info;
}

std::vector<HidInterfaceInfo> SimulatedDevice::enumerate() {
    if (!pluggedIn()) return {};
    return {interfaceInfo()};
}

OpenResult SimulatedDevice::open(const std::string& path) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (path != path_) {
        ++core_->counters.refusedOpens;
        return OpenResult::Failed(OpenFailure::Other);
    }
    return core_->openLocked(core_);
}

OpenResult SimulatedDevice::openHandle() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->openLocked(core_);
}

OpenCheck SimulatedDevice::probe(const std::string& path) {
    if (path != path_) return {OpenFailure::Other, {}};
    return probeHandle();
}

OpenCheck SimulatedDevice::probeHandle() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    ++core_->counters.probes;
    return core_->checkLocked();
}

void SimulatedDevice::setRelease(std::uint16_t release) {
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        core_->model.release = release;
    }
    plugChanged();
}

void SimulatedDevice::setIdentity(std::array<std::uint8_t, 3> bytes) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->model.identity = bytes;
}

void SimulatedDevice::setSerial(std::int32_t serial) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->model.serial = serial;
}

void SimulatedDevice::setVersion(std::string version) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->model.version = std::move(version);
}

void SimulatedDevice::setKeyDown(int keyNumber) {
    bool pressed = false;
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        const auto key = static_cast<std::uint8_t>(keyNumber);
        pressed = key != 0 && key != core_->model.keyDown;
        core_->model.keyDown = key;
    }
    if (pressed && serialLine_) serialLine_->send(keyMessage(keyNumber), serialFormat());
}

std::string SimulatedDevice::keyMessage(int keyNumber) const {
    if (keyNumber < 1 || keyNumber >= static_cast<int>(kBlockCount)) return {};
    const Block image = block(static_cast<std::size_t>(keyNumber));
    return std::string(SlotText(image.data()));
}

SerialFormat SimulatedDevice::serialFormat() const {
    SettingsBlock settings{};
    UnpackSettingsBlock(block(0), 0, settings);
    return {settings[kBaudCodeOffset], settings[kParityCodeOffset], settings[kStopBitsOffset]};
}

void SimulatedDevice::setSerialLine(SerialLine* line) {
    serialLine_ = line;
}

void SimulatedDevice::setPlugListener(std::function<void()> listener) {
    plugListener_ = std::move(listener);
}

void SimulatedDevice::plugChanged() {
    if (plugListener_) plugListener_();
}

void SimulatedDevice::setBlock(std::size_t blockNumber, const Block& bytes) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (blockNumber < kBlockCount) core_->model.blocks[blockNumber] = bytes;
}

void SimulatedDevice::setStoreFault(std::size_t blockNumber, std::size_t offset) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->model.storeFault = DeviceModel::StoreFault{blockNumber, offset};
}

void SimulatedDevice::clearStoreFault() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->model.storeFault.reset();
}

void SimulatedDevice::setServesMessageBlocks(bool serves) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->model.servesMessageBlocks = serves;
}

void SimulatedDevice::setSerialString(std::string serial) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->serialString = std::move(serial);
}

void SimulatedDevice::keepStateIn(std::filesystem::path path, std::function<void(const std::string&)> warn) {
    std::string warning;
    const std::optional<DeviceBlocks> kept = LoadSimulatorState(path, warning);
    if (!warning.empty() && warn) warn(warning);
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (kept) core_->model.blocks = *kept;
    core_->statePath = std::move(path);
    core_->warn = std::move(warn);
}

void SimulatedDevice::setKeyScript(std::vector<ScriptedPress> script) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->script = std::move(script);
    core_->scriptStart = core_->now();
}

void SimulatedDevice::useManualClock() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->manualClock) return;
    core_->manualNow = Clock::now();  // answers already queued keep their place in time
    core_->manualClock = true;
}

void SimulatedDevice::advanceClock(std::chrono::nanoseconds by) {
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        core_->manualNow += std::max(by, std::chrono::nanoseconds::zero());
    }
    core_->cv.notify_all();
}

void SimulatedDevice::setAnswerDelay(std::chrono::nanoseconds delay) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->delay = std::max(delay, std::chrono::nanoseconds::zero());
}

void SimulatedDevice::dropNextAnswers(int count) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->dropCount = std::max(count, 0);
}

void SimulatedDevice::duplicateNextAnswer() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->duplicateNext = true;
}

void SimulatedDevice::injectAnswer(const HidReport& report) {
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        AnswerData data;
        std::copy(report.begin() + 1, report.end(), data.begin());
        ++core_->counters.answersQueued;
        for (SimHandle* handle : core_->handles) {
            if (handle->dead) continue;
            auto& queue = handle->queue;
            const Clock::time_point now = core_->now();
            auto at = std::upper_bound(queue.begin(), queue.end(), now,
                                       [](Clock::time_point t, const Answer& a) { return t < a.readyAt; });
            queue.insert(at, Answer{now, data});
            if (queue.size() > kHandleQueueLimit) queue.pop_front();
        }
    }
    core_->cv.notify_all();
}

void SimulatedDevice::setRefuseOpens(bool refuse, OpenFailure why) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->refuseOpens = refuse;
    core_->refusal = why;
}

void SimulatedDevice::setHolderName(std::string name) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->holderName = std::move(name);
}

void SimulatedDevice::unplug() {
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        core_->plugged = false;
        for (SimHandle* handle : core_->handles) {
            handle->dead = true;
            handle->queue.clear();
        }
    }
    core_->cv.notify_all();
    plugChanged();
}

void SimulatedDevice::replug() {
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        core_->plugged = true;
    }
    plugChanged();
}

bool SimulatedDevice::pluggedIn() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->plugged;
}

std::vector<HidReport> SimulatedDevice::receivedReports() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->received;
}

std::size_t SimulatedDevice::receivedCount() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->received.size();
}

void SimulatedDevice::clearReceived() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->received.clear();
}

std::size_t SimulatedDevice::readyAnswers() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    const Clock::time_point now = core_->now();
    std::size_t n = 0;
    for (const SimHandle* handle : core_->handles)
        for (const Answer& answer : handle->queue) n += !handle->writer && !handle->dead && answer.readyAt <= now;
    return n;
}

SimulatedDevice::Block SimulatedDevice::block(std::size_t blockNumber) const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return blockNumber < kBlockCount ? core_->model.blocks[blockNumber] : Block{};
}

SimulatedDeviceCounters SimulatedDevice::counters() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->counters;
}

std::string SimulatedDevice::receivedTrace() const {
    std::string text;
    for (const HidReport& report : receivedReports()) {
        text += FormatReport(report);
        text += '\n';
    }
    return text;
}

std::vector<HidInterfaceInfo> SimulatedBus::enumerate() {
    ++enumerateCount_;
    std::vector<HidInterfaceInfo> list;
    for (const Entry& entry : entries_) {
        if (entry.device != nullptr && !entry.device->pluggedIn()) continue;
        HidInterfaceInfo info = entry.device ? entry.device->interfaceInfo() : HidInterfaceInfo{};
        if (!entry.hardwareIds.empty()) info.hardwareIds = entry.hardwareIds;
        info.path = entry.path;
        list.push_back(std::move(info));
    }
    return list;
}

OpenResult SimulatedBus::open(const std::string& path) {
    openedPaths_.push_back(path);
    for (const Entry& entry : entries_)
        if (entry.path == path && entry.device) return entry.device->openHandle();
    return OpenResult::Failed(OpenFailure::Other);
}

OpenCheck SimulatedBus::probe(const std::string& path) {
    for (const Entry& entry : entries_)
        if (entry.path == path && entry.device) return entry.device->probeHandle();
    return {OpenFailure::Other, {}};
}

int SimulatedBus::openCount(const std::string& path) const {
    return static_cast<int>(std::count(openedPaths_.begin(), openedPaths_.end(), path));
}

}  // namespace qb
