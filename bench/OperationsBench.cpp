// Measures what the host adds to every exchange with the device: a full write (37 reports) and a full read
// (3 reports) against the simulated device, through the real reader thread and the window-thread hand-off
// (the plain queue and Qt's event loop), with the device answering after 0 ms and after 1 ms.
//
// Overhead of one exchange = time from the moment an answer became readable to the moment the next report
// reached the device: the reader's wake-up, the hand-off, the step and the next report's send.
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/QtDispatcher.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "config/MemoryConfigView.h"
#include "device/DeviceLink.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"
#include "simulator/SimulatedDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Stamps the moment each report is handed to the device.
class TimedTransport : public qb::Transport {
public:
    explicit TimedTransport(qb::SimulatedDevice& device) : device_(device) {}

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

    private:
        std::unique_ptr<qb::HidHandle> inner_;
        TimedTransport& owner_;
    };

    qb::SimulatedDevice& device_;
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> stamps_;
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
    std::vector<double> writeMs;     // one entry per write
    std::vector<double> readMs;      // one entry per read
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[index];
}

// One operation: click, then run window-thread work until it completes. Returns its duration.
double RunOperation(const std::function<void()>& click, const std::function<void()>& pumpOnce, QuietUi& ui,
                    TimedTransport& transport, std::chrono::nanoseconds delay, std::size_t reports, Figures& figures) {
    transport.clear();
    const int before = ui.completions;
    const auto start = Clock::now();
    click();
    const auto deadline = start + 10s;
    while (ui.completions == before) {
        if (Clock::now() > deadline || !ui.errors.empty()) {
            std::fprintf(stderr, "operation did not complete (%zu errors, %zu reports sent)\n", ui.errors.size(),
                         transport.stamps().size());
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
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const auto overhead = stamps[i] - (stamps[i - 1] + delay);
        figures.overheadUs.push_back(std::chrono::duration<double, std::micro>(overhead).count());
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

Figures Measure(qb::Dispatcher& dispatcher, const std::function<void()>& pumpOnce, std::chrono::nanoseconds delay,
                int rounds) {
    qb::SimulatedDevice device;
    TimedTransport transport(device);
    qb::ConfigStore store;
    qb::MemoryConfigView view;
    QuietUi ui;
    qb::DeviceLink link(transport, dispatcher);
    qb::DeviceOperations ops(store, view, link, ui);
    store.SetDefaultConfig(view);
    device.setAnswerDelay(delay);

    Figures figures;
    for (int round = 0; round < rounds + 2; ++round) {
        Figures scratch;
        Figures& into = round < 2 ? scratch : figures;  // the first rounds connect and warm up
        into.writeMs.push_back(RunOperation([&] { ops.WriteButtonClick(); }, pumpOnce, ui, transport, delay, 37, into));
        into.readMs.push_back(RunOperation([&] { ops.ReadButtonClick(); }, pumpOnce, ui, transport, delay, 3, into));
    }
    link.Stop();
    return figures;
}

void Report(const char* handOff, std::chrono::nanoseconds delay, const Figures& f) {
    const double delayMs = std::chrono::duration<double, std::milli>(delay).count();
    std::printf(
        "%-6s delay %.0f ms: overhead per exchange median %6.1f us, p90 %6.1f us, max %7.1f us; "
        "write median %6.2f ms (ideal %5.1f ms, +%.1f%%), read median %5.2f ms\n",
        handOff, delayMs, Percentile(f.overheadUs, 0.5), Percentile(f.overheadUs, 0.9), Percentile(f.overheadUs, 1.0),
        Percentile(f.writeMs, 0.5), 37 * delayMs,
        delayMs > 0 ? 100.0 * (Percentile(f.writeMs, 0.5) - 37 * delayMs) / (37 * delayMs) : 0.0,
        Percentile(f.readMs, 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    std::printf("%d writes and %d reads per line\n", rounds, rounds);

    for (const auto delay : {std::chrono::nanoseconds(0), std::chrono::nanoseconds(1ms)}) {
        qb::QueueDispatcher queue;
        Report("queue", delay,
               Measure(
                   queue, [&] { queue.runOne(100ms); }, delay, rounds));

        qb::QtDispatcher qt;
        Report("qt", delay,
               Measure(
                   qt, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }, delay, rounds));
    }
    return 0;
}
