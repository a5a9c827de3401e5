// Measures what the host adds to every exchange with the device: a full write (37 reports), a full read (3 reports)
// and a verified write (37 reports, then block 0 read back: 2 more) against the device model, through the real reader
// thread and the window-thread hand-off (the plain queue and, where built with Qt, Qt's event loop), with the device
// answering after 0 ms and 1 ms.
//
// Overhead of one exchange = time from the moment an answer became readable to the moment the next report
// reached the device: the reader's wake-up, the hand-off, the step and the next report's send.
//
//   [ROUNDS]           as above, on an otherwise idle machine
//   --load [ROUNDS]    the same while busy threads (one more than cores) keep every core loaded
//   --hidraw [ROUNDS]  the real HID layer against whatever device the search finds (hardware, or the virtual
//                      device): the whole exchange, device and kernel included, with the queue hand-off
#if defined(QB_BENCH_QT)
#include <QCoreApplication>
#include <QEventLoop>

#include "gui/QtDispatcher.h"
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "config/MemoryConfigView.h"
#include "config/Text.h"
#include "device/DeviceLink.h"
#include "device/HidapiTransport.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"
#include "simulator/DeviceModel.h"
#include "simulator/SimulatedDevice.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Stamps the moment each report is handed to the device.
class TimedTransport : public qb::Transport {
public:
    explicit TimedTransport(qb::Transport& device) : device_(device) {}

    std::vector<qb::HidInterfaceInfo> enumerate() override { return device_.enumerate(); }
    qb::OpenResult open(const std::string& path) override {
        qb::OpenResult inner = device_.open(path);
        if (!inner.handle) return inner;
        return {std::make_unique<Handle>(std::move(inner.handle), *this)};
    }

    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        stamps_.clear();
    }
    std::vector<Clock::time_point> stamps() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stamps_;
    }

private:
    class Handle : public qb::HidHandle {
    public:
        Handle(std::unique_ptr<qb::HidHandle> inner, TimedTransport& owner) : inner_(std::move(inner)), owner_(owner) {}
        bool write(const std::uint8_t* data, std::size_t size) override {
            {
                std::lock_guard<std::mutex> lock(owner_.mutex_);
                owner_.stamps_.push_back(Clock::now());
            }
            return inner_->write(data, size);
        }
        int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
            return inner_->read(data, capacity, timeoutMs);
        }
        // The device is held by one session: the read handle shares the write handle's hold.
        std::unique_ptr<qb::HidHandle> duplicate() override {
            std::unique_ptr<qb::HidHandle> other = inner_->duplicate();
            return other ? std::make_unique<Handle>(std::move(other), owner_) : nullptr;
        }

    private:
        std::unique_ptr<qb::HidHandle> inner_;
        TimedTransport& owner_;
    };

    qb::Transport& device_;
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> stamps_;
};

// The device model on a thread of its own, as hardware and kernel are: an answer becomes readable at its time
// and wakes the reader, which spends nothing on the wait. (Waiting for the answer's time inside the reader's
// read would measure that wait at the reader's low priority, not what the host adds.)
class PacedDevice : public qb::Transport {
public:
    explicit PacedDevice(std::chrono::nanoseconds delay) : delay_(delay), thread_([this] { run(); }) {}
    ~PacedDevice() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    std::vector<qb::HidInterfaceInfo> enumerate() override {
        return {qb::HidInterfaceInfo::Make(qb::kVelmoraVendorId, qb::kQuillanterbrookeProductId,
                                           qb::kApplicationRelease, "paced")};
    }
    qb::OpenResult open(const std::string&) override { return {std::make_unique<Handle>(*this)}; }

    // When each answer really became readable (the device's thread wakes late now and then, like any thread).
    std::vector<Clock::time_point> readableTimes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(readableAt_, {});
    }

private:
    struct Pending {
        Clock::time_point due;
        qb::DeviceModel::Answer data;
    };

    class Handle : public qb::HidHandle {
    public:
        explicit Handle(PacedDevice& owner) : owner_(owner) {}
        bool write(const std::uint8_t* data, std::size_t size) override {
            qb::HidReport report{};
            std::copy_n(data, std::min(size, report.size()), report.begin());
            std::lock_guard<std::mutex> lock(owner_.mutex_);
            owner_.pending_.push_back({Clock::now() + owner_.delay_, owner_.model_.answer(report)});
            owner_.changed_.notify_all();
            return true;
        }
        int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
            std::unique_lock<std::mutex> lock(owner_.mutex_);
            if (!owner_.readable_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return !owner_.answers_.empty(); }))
                return 0;
            const std::size_t n = std::min(capacity, owner_.answers_.front().size());
            std::copy_n(owner_.answers_.front().begin(), n, data);
            owner_.answers_.erase(owner_.answers_.begin());
            return static_cast<int>(n);
        }

    private:
        PacedDevice& owner_;
    };

    void run() {
#if defined(__linux__)
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // answers on time, not up to 50 us late
#endif
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (pending_.empty()) {
                changed_.wait(lock);
            } else if (Clock::now() < pending_.front().due) {
                changed_.wait_until(lock, pending_.front().due);
            } else {
                answers_.push_back(pending_.front().data);
                readableAt_.push_back(Clock::now());
                pending_.erase(pending_.begin());
                readable_.notify_all();
            }
        }
    }

    const std::chrono::nanoseconds delay_;
    std::mutex mutex_;
    std::condition_variable changed_;   // a report came in, or the end
    std::condition_variable readable_;  // an answer became readable
    qb::DeviceModel model_;
    std::vector<Pending> pending_;
    std::vector<qb::DeviceModel::Answer> answers_;
    std::vector<Clock::time_point> readableAt_;
    bool stop_ = false;
    std::thread thread_;  // last: started once everything above is in place
};

class QuietUi : public qb::OperationsUi {
public:
    void showError(const std::u16string& text) override { errors.push_back(text); }
    void showInformation(const std::u16string&) override { ++completions; }
    void clearLog() override {}
    void addLogLine(const std::u16string&) override {}
    void showKey(int) override {}
    void setTestButtonCaption(const std::u16string&) override {}
    void setBusy(bool) override {}

    std::vector<std::u16string> errors;
    int completions = 0;
};

struct Figures {
    std::vector<double> overheadUs;  // one entry per exchange
    std::vector<double> exchangeMs;  // one entry per exchange: report to next report, the device's delay included
    std::vector<double> writeMs;     // one entry per write
    std::vector<double> readMs;      // one entry per read
    std::vector<double> verifiedMs;  // one entry per verified write (37 reports, then 2 that read block 0 back)
    std::vector<double> backupMs;    // one entry per backup taken before a write: a read of all 17 blocks (35 reports)
    // The device's own part of each write and verified write: for every exchange, from the report to its answer
    // becoming readable. What the host adds is the rest.
    std::vector<double> writeDeviceMs;
    std::vector<double> verifiedDeviceMs;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[index];
}

// One operation: click, then run window-thread work until it completes. Returns its duration.
double RunOperation(const std::function<void()>& click, const std::function<void()>& pumpOnce, QuietUi& ui,
                    TimedTransport& transport, std::chrono::nanoseconds delay, std::size_t reports, Figures& figures,
                    int completions = 1, PacedDevice* paced = nullptr, std::vector<double>* deviceMs = nullptr) {
    transport.clear();
    if (paced) paced->readableTimes();
    const int before = ui.completions;
    const auto start = Clock::now();
    click();
    const auto deadline = start + 10s;
    while (ui.completions < before + completions) {
        if (Clock::now() > deadline || !ui.errors.empty()) {
            std::fprintf(stderr, "operation did not complete (%zu reports sent): %s\n", transport.stamps().size(),
                         ui.errors.empty() ? "time-out" : qb::ToUtf8(ui.errors.front()).c_str());
            std::exit(1);
        }
        pumpOnce();
    }
    const auto end = Clock::now();
    const std::vector<Clock::time_point> stamps = transport.stamps();
    if (stamps.size() != reports) {
        std::fprintf(stderr, "expected %zu reports, saw %zu\n", reports, stamps.size());
        std::exit(1);
    }
    // Readable times where the device tells them; otherwise each answer is taken as readable after `delay`.
    std::vector<Clock::time_point> readable = paced ? paced->readableTimes() : std::vector<Clock::time_point>{};
    if (readable.size() != stamps.size()) {
        readable.clear();
        for (const Clock::time_point sent : stamps) readable.push_back(sent + delay);
    }
    double device = 0;
    for (std::size_t i = 0; i < stamps.size(); ++i)
        device += std::chrono::duration<double, std::milli>(readable[i] - stamps[i]).count();
    if (deviceMs) deviceMs->push_back(device);
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const auto overhead = stamps[i] - readable[i - 1];
        figures.overheadUs.push_back(std::chrono::duration<double, std::micro>(overhead).count());
        figures.exchangeMs.push_back(std::chrono::duration<double, std::milli>(stamps[i] - stamps[i - 1]).count());
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

Figures Measure(qb::Transport& device, qb::Dispatcher& dispatcher, const std::function<void()>& pumpOnce,
                std::chrono::nanoseconds delay, int rounds) {
    TimedTransport transport(device);
    auto* paced = dynamic_cast<PacedDevice*>(&device);
    qb::ConfigStore store;
    qb::MemoryConfigView view;
    QuietUi ui;
    qb::DeviceLink link(transport, dispatcher);
    qb::DeviceOperations ops(link, ui);
    store.SetDefaultConfig(view);

    Figures figures;
    for (int round = 0; round < rounds + 2; ++round) {
        Figures scratch;
        Figures& into = round < 2 ? scratch : figures;  // the first rounds connect and warm up
        into.writeMs.push_back(RunOperation([&] { ops.Write(store.Config); }, pumpOnce, ui, transport, delay, 37, into,
                                            1, paced, &into.writeDeviceMs));
        into.readMs.push_back(RunOperation([&] { ops.Read(); }, pumpOnce, ui, transport, delay, 3, into, 1, paced));
        // One box at the end: "Download Complete" and "Download verified".
        ops.options.verifyWrites = true;
        into.verifiedMs.push_back(RunOperation([&] { ops.Write(store.Config); }, pumpOnce, ui, transport, delay, 39,
                                               into, 1, paced, &into.verifiedDeviceMs));
        ops.options.verifyWrites = false;
        // What a backup adds to a write: the device's whole configuration read first.
        ops.options.readMessages = true;
        into.backupMs.push_back(RunOperation([&] { ops.Read(); }, pumpOnce, ui, transport, delay, 35, into, 1, paced));
        ops.options.readMessages = false;
    }
    link.Stop();
    return figures;
}

void Report(const char* handOff, std::chrono::nanoseconds delay, const Figures& f) {
    const double delayMs = std::chrono::duration<double, std::milli>(delay).count();
    // An operation against its device time: what the host added, as a share of what the device took.
    const auto share = [](double total, double device) { return device > 0 ? 100.0 * (total - device) / device : 0.0; };
    const double write = Percentile(f.writeMs, 0.5), writeDevice = Percentile(f.writeDeviceMs, 0.5);
    const double verified = Percentile(f.verifiedMs, 0.5), verifiedDevice = Percentile(f.verifiedDeviceMs, 0.5);
    std::printf(
        "%-6s delay %.0f ms: overhead per exchange median %6.1f us, p90 %6.1f us, max %7.1f us; "
        "longest exchange %6.2f ms; write median %6.2f ms (device %5.1f ms, +%.1f%%), read median %5.2f ms; "
        "verified write median %6.2f ms (device %5.1f ms, +%.1f%%); a backup first adds %6.2f ms\n",
        handOff, delayMs, Percentile(f.overheadUs, 0.5), Percentile(f.overheadUs, 0.9), Percentile(f.overheadUs, 1.0),
        Percentile(f.exchangeMs, 1.0), write, writeDevice, share(write, writeDevice), Percentile(f.readMs, 0.5),
        verified, verifiedDevice, share(verified, verifiedDevice), Percentile(f.backupMs, 0.5));
}

// Ordinary threads that spin until destroyed: one more than the machine has cores.
class BusyLoad {
public:
    BusyLoad() {
        const unsigned count = std::max(1u, std::thread::hardware_concurrency()) + 1;
        for (unsigned i = 0; i < count; ++i)
            threads_.emplace_back([this] {
                volatile std::uint64_t spins = 0;
                while (!stop_.load(std::memory_order_relaxed)) spins = spins + 1;
            });
    }
    ~BusyLoad() {
        stop_.store(true);
        for (std::thread& t : threads_) t.join();
    }
    std::size_t size() const { return threads_.size(); }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// The device model answering after `delay`, through each hand-off this program has.
void MeasureSimulated(std::chrono::nanoseconds delay, int rounds) {
    PacedDevice device(delay);
    qb::QueueDispatcher queue;
    Report("queue", delay,
           Measure(
               device, queue, [&] { queue.runOne(100ms); }, delay, rounds));
#if defined(QB_BENCH_QT)
    qb::QtDispatcher qt;
    Report("qt", delay,
           Measure(
               device, qt, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }, delay, rounds));
#endif
}

}  // namespace

// The workshop: `count` encoders, each answering after `delay`, written side by side, each through a connection of
// its own on one dispatcher (as program --each does): how long until the last is written.
double MeasureSideBySide(int count, std::chrono::nanoseconds delay) {
    std::vector<std::unique_ptr<qb::SimulatedDevice>> devices;
    qb::SimulatedBus bus;
    for (int i = 0; i < count; ++i) {
        devices.push_back(std::make_unique<qb::SimulatedDevice>("sim:encoder-" + std::to_string(i)));
        devices.back()->setAnswerDelay(delay);
        bus.add({{}, devices.back()->path(), devices.back().get()});
    }
    qb::QueueDispatcher queue;
    qb::KeypadConfig config;
    qb::ApplyDefaults(config);
    struct Session {
        QuietUi ui;
        std::unique_ptr<qb::DeviceLink> link;
        std::unique_ptr<qb::DeviceOperations> ops;
    };
    std::vector<Session> sessions(static_cast<std::size_t>(count));
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        Session& s = sessions[std::size_t(i)];
        s.link = std::make_unique<qb::DeviceLink>(bus, queue);
        s.link->setSelector(qb::DeviceSelector{devices[std::size_t(i)]->path()});
        s.ops = std::make_unique<qb::DeviceOperations>(*s.link, s.ui);
        s.ops->Write(config);
    }
    const auto done = [&] {
        for (const Session& s : sessions)
            if (s.ui.completions == 0) return false;
        return true;
    };
    while (!done() && Clock::now() - start < 10s) queue.runOne(10ms);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    for (Session& s : sessions) s.link->Stop();
    return ms;
}

int main(int argc, char** argv) {
#if defined(QB_BENCH_QT)
    QCoreApplication app(argc, argv);
#endif
    const bool load = argc > 1 && std::strcmp(argv[1], "--load") == 0;
    const bool hidraw = argc > 1 && std::strcmp(argv[1], "--hidraw") == 0;
    const int first = load || hidraw ? 2 : 1;
    const int rounds = argc > first ? std::max(1, std::atoi(argv[first])) : 100;
    std::printf("%d writes and %d reads per line\n", rounds, rounds);

    if (hidraw) {
        // The whole exchange is measured: nothing tells when the device's answer became readable.
        qb::HidapiTransport device;
        qb::QueueDispatcher queue;
        const Figures f = Measure(
            device, queue, [&] { queue.runOne(100ms); }, 0ns, rounds);
        std::printf(
            "hidraw: exchange median %.2f ms, p90 %.2f ms, max %.2f ms; write median %.2f ms, "
            "read median %.2f ms\n",
            Percentile(f.exchangeMs, 0.5), Percentile(f.exchangeMs, 0.9), Percentile(f.exchangeMs, 1.0),
            Percentile(f.writeMs, 0.5), Percentile(f.readMs, 0.5));
        return 0;
    }
    std::unique_ptr<BusyLoad> busy;
    if (load) {
        busy = std::make_unique<BusyLoad>();
        std::printf("loaded: %zu busy threads\n", busy->size());
    }
    for (const auto delay : {std::chrono::nanoseconds(0), std::chrono::nanoseconds(1ms)})
        MeasureSimulated(delay, rounds);
    std::vector<double> one, eight;
    for (int round = 0; round < std::min(rounds, 20); ++round) {
        one.push_back(MeasureSideBySide(1, 1ms));
        eight.push_back(MeasureSideBySide(8, 1ms));
    }
    std::printf("side by side, delay 1 ms: one write median %.2f ms, eight at once median %.2f ms (%.2f x)\n",
                Percentile(one, 0.5), Percentile(eight, 0.5), Percentile(eight, 0.5) / Percentile(one, 0.5));
    return 0;
}
