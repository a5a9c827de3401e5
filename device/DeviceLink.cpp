#include "device/DeviceLink.h"

#include <string>

#include "config/UserSink.h"
#include "device/Port1commsunit.h"
#include "device/Transport.h"

namespace qb {

namespace {

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

DeviceLink::DeviceLink(Transport& transport, Dispatcher& dispatcher) : transport_(transport), dispatcher_(dispatcher) {}

DeviceLink::~DeviceLink() {
    Stop();
}

void DeviceLink::setReportHandler(std::function<void()> handler) {
    reportHandler_ = std::move(handler);
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

void DeviceLink::FindDevice(std::string_view idSubstring) {
    closeLostConnection();
    if (DeviceOpen.load()) return;

    const std::string wanted = LowerAscii(idSubstring);
    for (const HidInterfaceInfo& info : transport_.enumerate()) {
        const std::string firstId = info.hardwareIds.empty() ? std::string() : LowerAscii(info.hardwareIds.front());
        if (firstId.find(wanted) == std::string::npos) continue;

        // The first match ends the search, whether or not it can be opened.
        std::unique_ptr<HidHandle> writeHandle = transport_.open(info.path);
        std::unique_ptr<HidHandle> readHandle = transport_.open(info.path);
        if (writeHandle && readHandle) {
            WriteHandle = std::move(writeHandle);
            ReadHandle = std::move(readHandle);
            DeviceOpen.store(true);
            reader_ = std::make_unique<Port1Comms>(*ReadHandle, DeviceOpen, InReport, dispatcher_, [this] {
                if (reportHandler_) reportHandler_();
            });
        }
        return;
    }
}

bool DeviceLink::ConnectDevice(UserSink& sink) {
    closeLostConnection();
    if (!DeviceOpen.load()) FindDevice(kApplicationRevision);
    if (!DeviceOpen.load()) {
        FindDevice(kProgramModeRevision);
        if (DeviceOpen.load()) {
            sink.showError(kProgramModeText);
            return false;
        }
    }
    if (!DeviceOpen.load()) FindDevice(kAnyRevision);
    if (!DeviceOpen.load()) {
        sink.showError(kCannotFindText);
        return false;
    }
    return true;
}

void DeviceLink::SendReport(std::uint8_t command) {
    closeLostConnection();
    if (!DeviceOpen.load() || !WriteHandle) return;
    OutReport[0] = 0;
    OutReport[1] = command;
    WriteHandle->write(OutReport.data(), OutReport.size());  // a lost write shows up as a missing answer
}

void DeviceLink::Stop() {
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
