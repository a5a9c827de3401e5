// Finding, opening and talking to the device: one connection at a time, one reader per connection.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/HidReport.h"
#include "device/Transport.h"

namespace qb {

class Dispatcher;
class Port1Comms;

// What a search found. The protocol layer words it for the user.
enum class SearchOutcome {
    Connected,    // the device is open (or already was)
    ProgramMode,  // only the firmware loader was found; it is open
    NoAccess,     // a matching interface is there, but this user may not open it
    InUse,        // the first match is open in another program's session
    NotFound,     // nothing matching, or nothing that would open
};

// Which device the operations use when several are attached: the interface with this path or this USB serial
// number string. Empty chooses none in particular.
struct DeviceSelector {
    std::string pathOrSerial;

    bool matches(const HidInterfaceInfo& info) const {
        return pathOrSerial.empty() || info.path == pathOrSerial ||
               (!info.serialNumber.empty() && info.serialNumber == pathOrSerial);
    }
};

struct SearchResult {
    SearchOutcome outcome = SearchOutcome::NotFound;
    std::vector<HidInterfaceInfo> refused;  // matching interfaces whose open was refused for want of access
    std::string holder;  // InUse: the program holding the device, as the platform names it (may be empty)
};

// Whether the interface's first hardware id contains `idSubstring`, letter case aside.
bool MatchesRevision(const HidInterfaceInfo& info, std::string_view idSubstring);

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
    // Runs on the window's thread when the open connection's reader has found the device gone (unplugged), after
    // every report that came before. Not run for a connection this link closed itself.
    void setConnectionLostHandler(std::function<void()> handler);

    // Searches only among the interfaces `selector` matches. Takes effect at the next ConnectDevice, which
    // closes a connection to an interface the selector no longer matches; an operation under way keeps its
    // device.
    void setSelector(DeviceSelector selector) { selector_ = std::move(selector); }

    // Searches once: the first interface whose first hardware id contains `idSubstring` (case-insensitive)
    // is opened for writing and for reading (one hold on the device for both), and a new reader is started if
    // both opens succeeded. The first match ends the search whether or not it opened; if it was refused for want
    // of access, it is added to `found->refused`; if another program holds it, `found` says InUse and who.
    void FindDevice(std::string_view idSubstring, SearchResult* found = nullptr);
    // Application revision, then program mode, then any revision. No search while a device is open. A device in
    // use by another program ends the search: it is the one this search would have taken.
    SearchResult ConnectDevice();
    // Sets OutReport bytes 0 and 1 and writes all 65 bytes. Does nothing when no connection is open.
    void SendReport(std::uint8_t command);
    // Ends the reader and closes the handles (at exit; also run by the destructor).
    void Stop();

    bool deviceOpen() const { return DeviceOpen.load(); }
    // The interface the open connection was made to.
    const HidInterfaceInfo& openInterface() const { return openInterface_; }

    // OutReport is never cleared: each report sets only its own bytes. InReport is written by the reader only
    // between two runs of the report handler.
    HidReport OutReport{};
    HidReport InReport{};

private:
    void closeLostConnection();
    void connectionLost(std::uint64_t connection);

    Transport& transport_;
    Dispatcher& dispatcher_;
    std::function<void()> reportHandler_;
    std::function<void()> lostHandler_;
    // The notice of a lost connection is posted to the window's thread: it must find out whether this link still
    // exists, and whether the connection it is about is still the open one.
    std::shared_ptr<DeviceLink*> self_;
    std::uint64_t connection_ = 0;
    std::unique_ptr<HidHandle> WriteHandle;
    std::unique_ptr<HidHandle> ReadHandle;
    std::atomic<bool> DeviceOpen{false};
    HidInterfaceInfo openInterface_;
    std::unique_ptr<Port1Comms> reader_;
    DeviceSelector selector_;
};

}  // namespace qb
