// Port1Comms: the reader thread of one device connection. It waits for the device's input reports, copies
// each into InReport and has the window's thread handle it before it reads the next.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "device/HidReport.h"

namespace qb {

class Dispatcher;
class HandOff;
class HidHandle;

class Port1Comms {
public:
    // How long one read waits before the stop request is looked at again.
    static constexpr int kReadTimeoutMs = 50;

    // Starts the thread at once, at the lowest priority. `readHandle`, `deviceOpen` and `inReport` must outlive
    // the reader; `reportReceived` runs on the dispatcher's thread once per report, with the report in
    // `inReport`, while this thread waits. `deviceGone` runs on this thread, once, when a read finds the device
    // gone (not when the reader is stopped).
    Port1Comms(HidHandle& readHandle, std::atomic<bool>& deviceOpen, HidReport& inReport, Dispatcher& dispatcher,
               std::function<void()> reportReceived, std::function<void()> deviceGone = {});
    // Stops and joins.
    ~Port1Comms();
    Port1Comms(const Port1Comms&) = delete;
    Port1Comms& operator=(const Port1Comms&) = delete;

    // Ends the reader within one read time-out: a blocked read is not waited for beyond it, a hand-off that
    // has not started is dropped, and one that is running is not waited for.
    void requestStop();
    void join();
    // True once the thread body has returned (after a failed read or a stop).
    bool finished() const { return finished_.load(); }

    // Each read fills it; it is all zero again before every hand-off.
    HidReport ReadBuffer{};

private:
    void Execute();

    HidHandle& readHandle_;
    std::atomic<bool>& DeviceOpen;
    HidReport& InReport;
    Dispatcher& dispatcher_;
    std::shared_ptr<HandOff> handOff_;
    std::function<void()> deviceGone_;
    std::atomic<bool> finished_{false};
    std::thread thread_;  // last: started once everything above is in place
};

}  // namespace qb
