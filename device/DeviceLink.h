// Finding, opening and talking to the device: one connection at a time, one reader per connection.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string_view>

#include "device/HidReport.h"

namespace qb {

class Dispatcher;
class HidHandle;
class Port1Comms;
class Transport;
class UserSink;

inline constexpr char kApplicationRevision[] = "Vid_04d8&Pid_fd37&rev_0004";
inline constexpr char kProgramModeRevision[] = "Vid_04d8&Pid_fd37&rev_0001";
inline constexpr char kAnyRevision[] = "Vid_04d8&Pid_fd37";

inline constexpr char16_t kProgramModeText[] = u"VELMORA is in Program Mode";
inline constexpr char16_t kCannotFindText[] = u"Cannot find VELMORA";

// Lives on the window's thread: every member except the reader's own work is called there.
class DeviceLink {
public:
    // `dispatcher` runs each received report's handler on the window's thread.
    DeviceLink(Transport& transport, Dispatcher& dispatcher);
    // Stops and joins the reader (without waiting for a hand-off that can no longer run) and closes the handles.
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // ReportReceived: runs on the window's thread once per input report, with the report in InReport.
    void setReportHandler(std::function<void()> handler);

    // Searches once: the first interface whose first hardware id contains `idSubstring` (case-insensitive)
    // is opened for writing and for reading, and a new reader is started if both opens succeeded.
    void FindDevice(std::string_view idSubstring);
    // Application revision, then program mode ("VELMORA is in Program Mode", false, device left open), then
    // any revision; "Cannot find VELMORA" and false if nothing opened. No search while a device is open.
    bool ConnectDevice(UserSink& sink);
    // Sets OutReport bytes 0 and 1 and writes all 65 bytes. Does nothing when no connection is open.
    void SendReport(std::uint8_t command);
    // Ends the reader and closes the handles (at exit; also run by the destructor).
    void Stop();

    bool deviceOpen() const { return DeviceOpen.load(); }

    // OutReport is never cleared: each report sets only its own bytes. InReport is written by the reader only
    // between two runs of the report handler.
    HidReport OutReport{};
    HidReport InReport{};

private:
    void closeLostConnection();

    Transport& transport_;
    Dispatcher& dispatcher_;
    std::function<void()> reportHandler_;
    std::unique_ptr<HidHandle> WriteHandle;
    std::unique_ptr<HidHandle> ReadHandle;
    std::atomic<bool> DeviceOpen{false};
    std::unique_ptr<Port1Comms> reader_;
};

}  // namespace qb
