#include "device/SimulatedDevice.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kDataSize = kReportSize - 1;  // what a read delivers: the report without its id
using AnswerData = std::array<std::uint8_t, kDataSize>;

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

    std::uint16_t release = kApplicationRelease;
    std::array<std::uint8_t, 3> identity{0, 1, 3};
    std::int32_t serial = 1;
    std::string version = "1.00";
    std::uint8_t keyDown = 0;
    std::array<Block, kBlockCount> blocks{};

    std::chrono::nanoseconds delay{0};
    int dropCount = 0;
    bool duplicateNext = false;
    bool refuseOpens = false;
    bool plugged = true;

    std::vector<HidReport> received;
    SimulatedDeviceCounters counters;
    std::vector<SimHandle*> handles;

    // Under the lock.
    AnswerData answerFor(const HidReport& report);
    void queueAnswer(const AnswerData& data, Clock::time_point readyAt);
    std::unique_ptr<HidHandle> openLocked(const std::shared_ptr<Core>& self);
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
        {
            std::lock_guard<std::mutex> lock(core_->mutex);
            SimulatedDeviceCounters& counters = core_->counters;
            ++counters.writes;
            if (dead || size == 0 || size > kReportSize) {
                ++counters.failedWrites;
                return false;
            }
            HidReport report{};  // a short write reaches the device zero-padded
            std::copy(data, data + size, report.begin());
            core_->received.push_back(report);
            ++counters.reportsReceived;
            const AnswerData answer = core_->answerFor(report);
            core_->queueAnswer(answer, Clock::now() + core_->delay);
        }
        core_->cv.notify_all();
        return true;
    }

    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        PreciseWakeUps();
        std::unique_lock<std::mutex> lock(core_->mutex);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            if (dead) return -1;
            const Clock::time_point now = Clock::now();
            if (!queue.empty() && queue.front().readyAt <= now) {
                const std::size_t n = std::min(capacity, kDataSize);
                std::copy_n(queue.front().data.begin(), n, data);
                queue.pop_front();
                ++core_->counters.answersDelivered;
                return static_cast<int>(n);
            }
            if (timeoutMs >= 0 && now >= deadline) return 0;
            if (queue.empty()) {
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

    // Guarded by the core's mutex.
    bool dead = false;
    std::deque<Answer> queue;

private:
    std::shared_ptr<SimulatedDevice::Core> core_;
};

void PutLittleEndian(std::uint8_t* out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace

// Answer data byte i is report byte i + 1: the report id is not delivered.
AnswerData SimulatedDevice::Core::answerFor(const HidReport& report) {
    AnswerData answer{};
    const std::uint8_t command = report[1];
    const std::uint8_t blockNumber = report[2];
    answer[0] = command;  // echoed; the host never looks at it
    switch (command) {
        case 'S': {
            std::copy(identity.begin(), identity.end(), answer.begin() + 1);  // report bytes 2..4
            PutLittleEndian(answer.data() + 5, serial);                       // report bytes 6..9
            const std::size_t n = std::min<std::size_t>(version.size(), kDataSize - 9);
            std::copy_n(version.begin(), n, answer.begin() + 9);  // report bytes 10..64, rest zero
            break;
        }
        case 'd':
        case 'D':
            answer[1] = blockNumber;
            if (blockNumber < kBlockCount) {
                const std::size_t half = command == 'd' ? 0 : kBlockSize / 2;
                std::copy_n(report.begin() + 3, kBlockSize / 2, blocks[blockNumber].begin() + half);
            }
            break;
        case 'r':
        case 'R':
            if (blockNumber < kBlockCount) {
                const std::size_t half = command == 'r' ? 0 : kBlockSize / 2;
                std::copy_n(blocks[blockNumber].begin() + half, kBlockSize / 2, answer.begin() + 1);  // 2..49
            }
            break;
        case 'K':
            answer[1] = keyDown;
            break;
        default:  // "E", "Z" and anything else: a bare acknowledgement
            break;
    }
    return answer;
}

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

std::unique_ptr<HidHandle> SimulatedDevice::Core::openLocked(const std::shared_ptr<Core>& self) {
    if (!plugged || refuseOpens) {
        ++counters.refusedOpens;
        return nullptr;
    }
    auto handle = std::make_unique<SimHandle>(self);
    handles.push_back(handle.get());
    ++counters.opens;
    ++counters.openHandles;
    return handle;
}

SimulatedDevice::SimulatedDevice(std::string path) : path_(std::move(path)), core_(std::make_shared<Core>()) {}

SimulatedDevice::~SimulatedDevice() {
    // Handles still open fail from now on, like those of a device that went away.
    unplug();
}

std::vector<std::string> SimulatedDevice::hardwareIds() const {
    std::uint16_t release;
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        release = core_->release;
    }
    std::string second = MakeHardwareId(kVelmoraVendorId, kQuillanterbrookeProductId, release);
    second.resize(second.rfind('&'));  // without the release
    return {MakeHardwareId(kVelmoraVendorId, kQuillanterbrookeProductId, release), second};
}

std::vector<HidInterfaceInfo> SimulatedDevice::enumerate() {
    if (!pluggedIn()) return {};
    return {HidInterfaceInfo{hardwareIds(), path_}};
}

std::unique_ptr<HidHandle> SimulatedDevice::open(const std::string& path) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (path != path_) {
        ++core_->counters.refusedOpens;
        return nullptr;
    }
    return core_->openLocked(core_);
}

std::unique_ptr<HidHandle> SimulatedDevice::openHandle() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->openLocked(core_);
}

void SimulatedDevice::setRelease(std::uint16_t release) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->release = release;
}

void SimulatedDevice::setIdentity(std::array<std::uint8_t, 3> bytes) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->identity = bytes;
}

void SimulatedDevice::setSerial(std::int32_t serial) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->serial = serial;
}

void SimulatedDevice::setVersion(std::string version) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->version = std::move(version);
}

void SimulatedDevice::setKeyDown(int keyNumber) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->keyDown = static_cast<std::uint8_t>(keyNumber);
}

void SimulatedDevice::setBlock(std::size_t blockNumber, const Block& bytes) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (blockNumber < kBlockCount) core_->blocks[blockNumber] = bytes;
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
            const Clock::time_point now = Clock::now();
            auto at = std::upper_bound(queue.begin(), queue.end(), now,
                                       [](Clock::time_point t, const Answer& a) { return t < a.readyAt; });
            queue.insert(at, Answer{now, data});
            if (queue.size() > kHandleQueueLimit) queue.pop_front();
        }
    }
    core_->cv.notify_all();
}

void SimulatedDevice::setRefuseOpens(bool refuse) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->refuseOpens = refuse;
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
}

void SimulatedDevice::replug() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->plugged = true;
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

bool SimulatedDevice::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(core_->mutex);
    return core_->cv.wait_for(lock, timeout, [&] { return core_->received.size() >= count; });
}

SimulatedDevice::Block SimulatedDevice::block(std::size_t blockNumber) const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return blockNumber < kBlockCount ? core_->blocks[blockNumber] : Block{};
}

SimulatedDeviceCounters SimulatedDevice::counters() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->counters;
}

std::string SimulatedDevice::FormatReport(const HidReport& report) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(report.size() * 2);
    for (std::uint8_t byte : report) {
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

std::string SimulatedDevice::receivedTrace() const {
    std::string text;
    for (const HidReport& report : receivedReports()) {
        text += FormatReport(report);
        text += '\n';
    }
    return text;
}

bool SimulatedDevice::ParseTrace(std::string_view text, std::vector<HidReport>& reports) {
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::vector<HidReport> parsed;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;

        // Two hex digits a byte; spaces between bytes are allowed, inside a byte they are not.
        HidReport report{};
        std::size_t count = 0;
        for (std::size_t i = first; i < line.size();) {
            if (isSpace(line[i])) {
                ++i;
                continue;
            }
            if (i + 1 >= line.size() || count == report.size()) return false;
            const int high = hexValue(line[i]);
            const int low = hexValue(line[i + 1]);
            if (high < 0 || low < 0) return false;
            report[count++] = static_cast<std::uint8_t>(high * 16 + low);
            i += 2;
        }
        if (count != report.size()) return false;
        parsed.push_back(report);
    }
    reports = std::move(parsed);
    return true;
}

std::vector<HidInterfaceInfo> SimulatedBus::enumerate() {
    ++enumerateCount_;
    std::vector<HidInterfaceInfo> list;
    for (const Entry& entry : entries_) {
        if (entry.device != nullptr && !entry.device->pluggedIn()) continue;
        HidInterfaceInfo info;
        info.hardwareIds = entry.hardwareIds.empty() && entry.device ? entry.device->hardwareIds() : entry.hardwareIds;
        info.path = entry.path;
        list.push_back(std::move(info));
    }
    return list;
}

std::unique_ptr<HidHandle> SimulatedBus::open(const std::string& path) {
    openedPaths_.push_back(path);
    for (const Entry& entry : entries_)
        if (entry.path == path) return entry.device ? entry.device->openHandle() : nullptr;
    return nullptr;
}

int SimulatedBus::openCount(const std::string& path) const {
    return static_cast<int>(std::count(openedPaths_.begin(), openedPaths_.end(), path));
}

}  // namespace qb
