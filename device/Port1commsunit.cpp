#include "device/Port1commsunit.h"

#include <algorithm>
#include <chrono>

#include "device/Dispatcher.h"
#include "device/HandOff.h"
#include "device/Transport.h"

#if defined(_WIN32)
#include "config/Win32.h"
#elif defined(__APPLE__)
#include <pthread.h>
#include <pthread/qos.h>
#elif defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace qb {

namespace {

// The reader sleeps in its read almost all the time, so an ordinary priority costs nothing; a low one does: any
// busy process starves an idle-class thread, and on Linux even a nice-19 one falls behind a loaded machine by a
// tenth of a second (README, Benchmark), while an answer left unread runs the reply allowance out. So: Linux keeps
// the process's own ordinary scheduling; Windows and macOS take their lowest ordinary level, which wakes with the
// read.
void SetReaderPriority() {
#if defined(_WIN32)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
#elif defined(__APPLE__)
    pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0);
#elif defined(__linux__)
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);  // failure only costs priority
#endif
}

// How long the reader looks away when no connection is open, instead of spinning.
constexpr std::chrono::milliseconds kClosedPause{10};

}  // namespace

Port1Comms::Port1Comms(HidHandle& readHandle, std::atomic<bool>& deviceOpen, HidReport& inReport,
                       Dispatcher& dispatcher, std::function<void()> reportReceived, std::function<void()> deviceGone)
    : readHandle_(readHandle),
      DeviceOpen(deviceOpen),
      InReport(inReport),
      dispatcher_(dispatcher),
      handOff_(HandOff::Create(std::move(reportReceived))),
      deviceGone_(std::move(deviceGone)) {
    thread_ = std::thread([this] { Execute(); });
}

Port1Comms::~Port1Comms() {
    requestStop();
    join();
}

void Port1Comms::requestStop() {
    handOff_->requestStop();
    readHandle_.interruptRead();
}

void Port1Comms::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Port1Comms::Execute() {
    SetReaderPriority();
    while (!handOff_->stopRequested()) {
        if (!DeviceOpen.load()) {
            handOff_->waitForStop(kClosedPause);
            continue;
        }
        // The platform delivers the data bytes without the report id: keep byte 0 for it.
        const int timeoutMs = readHandle_.readsInterruptible() ? -1 : kReadTimeoutMs;
        const int n = readHandle_.read(ReadBuffer.data() + 1, ReadBuffer.size() - 1, timeoutMs);
        if (n < 0) {
            DeviceOpen.store(false);
            if (deviceGone_ && !handOff_->stopRequested()) deviceGone_();
            break;
        }
        if (n == 0) continue;
        if (handOff_->stopRequested()) break;
        ReadBuffer[0] = 0;
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(n) + 1, ReadBuffer.size());
        for (std::size_t i = 0; i < count; ++i) {
            InReport[i] = ReadBuffer[i];
            ReadBuffer[i] = 0;
        }
        // After a stop the window may still be inside the handler; InReport is not touched again.
        if (!handOff_->handOver(dispatcher_)) break;
    }
    finished_.store(true);
}

}  // namespace qb
