#include "device/Port1commsunit.h"

#include <algorithm>
#include <chrono>

#include "device/Dispatcher.h"
#include "device/HandOff.h"
#include "device/Transport.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__APPLE__)
#include <pthread.h>
#include <pthread/qos.h>
#elif defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace qb {

namespace {

#if defined(__linux__)
// The lowest ordinary priority. Under full load it still starves now and then: the reader's few microseconds per
// report exceed a nice-19 thread's fair share of a saturated core (README, Benchmark).
constexpr int kReaderNice = 19;
#endif

// The reader sleeps in its read almost all the time, so it may run at an ordinary priority at no cost. It takes
// the lowest ordinary one, not the idle class: any busy process starves an idle-class thread, and an answer
// waiting unread for long runs the reply allowance out.
void LowerOwnPriority() {
#if defined(_WIN32)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
#elif defined(__APPLE__)
    pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0);
#elif defined(__linux__)
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    // On Linux a nice value set for a thread id applies to that thread alone. Failures only cost priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kReaderNice);
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
    LowerOwnPriority();
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
