#include "device/DeviceLink.h"

#include <algorithm>
#include <string>

#include "device/DeviceIds.h"
#include "device/Dispatcher.h"
#include "device/Port1commsunit.h"

namespace qb {

namespace {

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

bool MatchesRevision(const HidInterfaceInfo& info, std::string_view idSubstring) {
    return !info.hardwareIds.empty() &&
           LowerAscii(info.hardwareIds.front()).find(LowerAscii(idSubstring)) != std::string::npos;
}

DeviceLink::DeviceLink(Transport& transport, Dispatcher& dispatcher)
    : transport_(transport), dispatcher_(dispatcher), self_(std::make_shared<DeviceLink*>(this)) {}

DeviceLink::~DeviceLink() {
    *self_ = nullptr;
    Stop();
}

void DeviceLink::setReportHandler(std::function<void()> handler) {
    reportHandler_ = std::move(handler);
}

void DeviceLink::setConnectionLostHandler(std::function<void()> handler) {
    lostHandler_ = std::move(handler);
}

void DeviceLink::connectionLost(std::uint64_t connection) {
    if (connection != connection_ || DeviceOpen.load()) return;  // an older connection, or already replaced
    closeLostConnection();
    if (lostHandler_) lostHandler_();
}

void DeviceLink::closeLostConnection() {
    // Only the reader clears DeviceOpen, right before it ends: joining it here is short.
    if (DeviceOpen.load()) return;
    if (reader_) {
        reader_->requestStop();
        reader_->join();
        reader_.reset();
    }
    WriteHandle.reset();
    ReadHandle.reset();
}

void DeviceLink::FindDevice(std::string_view idSubstring, SearchResult* found) {
    closeLostConnection();
    if (DeviceOpen.load()) return;

    for (const HidInterfaceInfo& info : transport_.enumerate()) {
        if (!selector_.matches(info) || !MatchesRevision(info, idSubstring)) continue;

        // The first match ends the search, whether or not it can be opened. The read handle shares the write
        // handle's hold on the device: a second open of our own would be refused as in use.
        OpenResult writeHandle = transport_.open(info.path);
        OpenResult readHandle;
        if (writeHandle.handle) {
            readHandle.handle = writeHandle.handle->duplicate();
            if (!readHandle.handle) readHandle = transport_.open(info.path);
        }
        if (writeHandle.handle && readHandle.handle) {
            WriteHandle = std::move(writeHandle.handle);
            ReadHandle = std::move(readHandle.handle);
            openInterface_ = info;
            DeviceOpen.store(true);
            const std::uint64_t connection = ++connection_;
            const std::weak_ptr<DeviceLink*> self = self_;
            Dispatcher& dispatcher = dispatcher_;
            reader_ = std::make_unique<Port1Comms>(
                *ReadHandle, DeviceOpen, InReport, dispatcher_,
                [this] {
                    if (reportHandler_) reportHandler_();
                },
                [self, connection, &dispatcher] {
                    dispatcher.post([self, connection] {
                        const std::shared_ptr<DeviceLink*> link = self.lock();
                        if (link && *link) (*link)->connectionLost(connection);
                    });
                });
        } else if (found && (writeHandle.failure == OpenFailure::InUse || readHandle.failure == OpenFailure::InUse)) {
            found->outcome = SearchOutcome::InUse;
            found->holder = writeHandle.failure == OpenFailure::InUse ? writeHandle.holder : readHandle.holder;
        } else if (found && (writeHandle.failure == OpenFailure::AccessDenied ||
                             readHandle.failure == OpenFailure::AccessDenied)) {
            // Steps one and three of a search can both match one interface: it is told once.
            std::vector<HidInterfaceInfo>& refused = found->refused;
            const bool known = std::any_of(refused.begin(), refused.end(),
                                           [&](const HidInterfaceInfo& r) { return r.path == info.path; });
            if (!known) refused.push_back(info);
        }
        return;
    }
}

SearchResult DeviceLink::ConnectDevice() {
    closeLostConnection();
    // Another device was chosen since this connection was made.
    if (DeviceOpen.load() && !selector_.matches(openInterface_)) Stop();
    SearchResult result;
    const auto inUse = [&] { return result.outcome == SearchOutcome::InUse; };
    if (!DeviceOpen.load()) FindDevice(RevisionSubstring(kApplicationRelease), &result);
    if (inUse()) return result;
    if (!DeviceOpen.load()) {
        FindDevice(RevisionSubstring(kProgramModeRelease), &result);
        if (inUse()) return result;
        if (DeviceOpen.load()) {
            result.outcome = SearchOutcome::ProgramMode;
            return result;
        }
    }
    if (!DeviceOpen.load()) FindDevice(RevisionSubstring(std::nullopt), &result);
    if (inUse()) return result;
    if (DeviceOpen.load())
        result.outcome = SearchOutcome::Connected;
    else
        result.outcome = result.refused.empty() ? SearchOutcome::NotFound : SearchOutcome::NoAccess;
    return result;
}

void DeviceLink::SendReport(std::uint8_t command) {
    closeLostConnection();
    if (!DeviceOpen.load() || !WriteHandle) return;
    OutReport[0] = 0;
    OutReport[1] = command;
    WriteHandle->write(OutReport.data(), OutReport.size());  // a lost write shows up as a missing answer
}

void DeviceLink::Stop() {
    ++connection_;  // a notice still on its way about this connection is not for anyone any more
    if (reader_) {
        reader_->requestStop();
        reader_->join();
        reader_.reset();
    }
    DeviceOpen.store(false);
    WriteHandle.reset();
    ReadHandle.reset();
}

}  // namespace qb
