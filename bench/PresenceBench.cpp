// Measures the window at rest and its live parts:
// - idle: context switches of every thread of the process and processor time over a stretch in which nothing
//   is under way (the real HID layer with its bus watcher; the simulated device; the simulated device after a
//   read, with its connection open);
// - plug to status line: from the simulated device's unplug or replug to the new status text;
// - the serial monitor fed 57600 baud without a pause through a pseudo-terminal: every byte must arrive and
//   be shown, and the feeding must never have to wait for the monitor.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gui/CursorBlinkLimit.h"
#include "gui/Mainunit.h"
#include "gui/monitor/SerialMonitor.h"
#include "config/Text.h"
#include "device/HidapiTransport.h"
#include "simulator/SimulatedDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

// The boxes of the operations, unseen: the measurement must not wait for a click.
class QuietSink : public qb::UserSink {
public:
    void showError(const std::u16string&) override {}
    void showInformation(const std::u16string&) override {}
    qb::Answer askYesNoCancel(const std::u16string&) override { return qb::Answer::No; }
};

// Voluntary and involuntary context switches of every thread of this process.
long ContextSwitches() {
    long total = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream status("/proc/self/task/" + task.toStdString() + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos) total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `ms`; the one timer that ends it is the only wake-up this adds.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void MeasureIdle(const char* what, qb::Transport& transport, int seconds,
                 const std::function<void(qb::TMainForm&)>& before = {}) {
    QuietSink sink;
    qb::TMainForm form(transport, QDir::tempPath());
    form.setUserSink(&sink);
    form.show();
    if (before) before(form);
    // Settle: painting, the first presence look-up, and the text cursor's blinking, which stops on its own.
    RunFor(qb::CursorBlinkLimit::kBlinkForMs + 1000);
    const long switches = ContextSwitches();
    const double cpu = CpuSeconds();
    RunFor(seconds * 1000);
    const long used = ContextSwitches() - switches;
    std::printf("idle, %-40s %4ld context switches in %d s (%.2f/s), CPU %.3f %%\n", what, used, seconds,
                double(used) / seconds, 100.0 * (CpuSeconds() - cpu) / seconds);
    form.close();
}

void MeasurePlug(int rounds) {
    qb::SimulatedDevice device;
    qb::TMainForm form(device, QDir::tempPath());
    form.show();
    auto* status = form.findChild<QLabel*>(QStringLiteral("PresenceText"));
    std::vector<double> ms;
    for (int i = 0; i < 2 * rounds; ++i) {
        const QString before = status->text();
        QElapsedTimer timer;
        timer.start();
        if (i % 2 == 0)
            device.unplug();
        else
            device.replug();
        while (status->text() == before && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("plug to status line (simulated device): median %.3f ms, worst %.3f ms over %zu changes\n",
                ms[ms.size() / 2], ms.back(), ms.size());
}

void MeasureMonitor(int seconds) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::printf("serial monitor: skipped, no pseudo-terminal\n");
        return;
    }
    const QString port = QString::fromLocal8Bit(ptsname(master));
    qb::MonitorKeys keys;
    keys[5] = {QStringLiteral("5"), "five\r\n"};
    qb::SerialMonitor monitor([] { return qb::MonitorFormat{57600}; }, [&] { return keys; });
    if (std::getenv("QB_BENCH_SHOW_MONITOR")) monitor.show();
    if (!monitor.openPort(port)) {
        std::printf("serial monitor: skipped, cannot open %s\n", qPrintable(port));
        return;
    }
    // 57600 baud, 8N1: 5760 bytes a second, fed in 5 ms slices as a line delivers them, without a pause.
    constexpr int kBytesPerSecond = 5760, kSliceMs = 5;
    std::mt19937 random(11);
    std::string data;
    for (int i = 0; i < kBytesPerSecond * seconds; ++i)
        data += char(random() % 3 == 0 ? random() % 256 : 'a' + random() % 26);
    std::atomic<bool> fed{false};
    double worstLagMs = 0;
    std::thread feeder([&] {
        const auto start = Clock::now();
        const std::size_t slice = kBytesPerSecond * kSliceMs / 1000;
        for (std::size_t at = 0, n = 0; at < data.size(); at += slice, ++n) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(kSliceMs * n));
            const std::size_t size = std::min(slice, data.size() - at);
            for (std::size_t done = 0; done < size;) {
                const ssize_t w = ::write(master, data.data() + at + done, size - done);
                if (w <= 0) break;
                done += std::size_t(w);
            }
            const double lag = std::chrono::duration<double, std::milli>(
                                   Clock::now() - (start + std::chrono::milliseconds(kSliceMs * n)))
                                   .count();
            worstLagMs = std::max(worstLagMs, lag);
        }
        fed = true;
    });
    const double cpu = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QTimer watchdog;  // wakes the loop should bytes stay away
    watchdog.start(1000);
    while (!fed || (monitor.bytesReceived() < data.size() && timer.elapsed() < 1000L * (seconds + 5)))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    watchdog.stop();
    RunFor(200);  // the last message's quiet time
    feeder.join();
    const double cpuUsed = CpuSeconds() - cpu;
    // What is shown reads back to what was sent: every line without its key note, one after the other.
    QString shown;
    for (QString line : monitor.lines())
        shown +=
            line.left(line.indexOf(QStringLiteral("    [")) < 0 ? line.size() : line.indexOf(QStringLiteral("    [")));
    const bool same = shown == QString::fromStdU16String(qb::ShowBytes(data));
    std::printf(
        "serial monitor at 57600 baud for %d s: %llu of %zu bytes received, shown %s, worst feeding delay "
        "%.1f ms, CPU %.1f %%\n",
        seconds, static_cast<unsigned long long>(monitor.bytesReceived()), data.size(),
        same ? "exactly" : "DIFFERENTLY", worstLagMs, 100.0 * cpuUsed / (timer.elapsed() / 1000.0));
    monitor.closePort();
    ::close(master);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    {
        qb::HidapiTransport hid;
        MeasureIdle("real HID layer, nothing attached:", hid, seconds);
    }
    {
        qb::SimulatedDevice device;
        MeasureIdle("simulated device, attached:", device, seconds);
        MeasureIdle("simulated device, connection open:", device, seconds,
                    [](qb::TMainForm& form) { form.ReadButtonClick(); });
    }
    MeasurePlug(50);
    MeasureMonitor(seconds);
    return 0;
}
