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
#endif

namespace qb {

namespace {

// The reader only waits for the device; it must never take processor time from the window.
void LowerOwnPriority() {
#if defined(_WIN32)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
#elif defined(__APPLE__)
    pthread_set_qos_class_self_np(QOS_CLASS_BACKGROUND, 0);
#elif defined(__linux__)
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);  // failure only costs priority
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
        const int n = readHandle_.read(ReadBuffer.data() + 1, ReadBuffer.size() - 1, kReadTimeoutMs);
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
