// The Windows HID layer of our own: the device set-up interface lists the HID interfaces with their hardware
// ids and paths, and each open is one overlapped file handle, so that a read waits no longer than asked.
#pragma once

#include <cstddef>
#include <memory>

#include "device/Transport.h"

namespace qb {

class WindowsTransport : public Transport {
public:
    // Every present interface of the HID interface class, with its hardware ids as the system spells them.
    std::vector<HidInterfaceInfo> enumerate() override;
    // Opens the path for reading and writing, overlapped and without sharing: another program's open meanwhile
    // is refused for sharing, which is told as in use.
    OpenResult open(const std::string& path) override;
    // Opens the path shared and closes it again.
    OpenCheck probe(const std::string& path) override;
};

// A handle opened with FILE_FLAG_OVERLAPPED (a Windows HANDLE) as a HidHandle; it is closed with the HidHandle.
// Each read asks for `inputReportLength` bytes, the report id first, as the system delivers a HID input report.
std::unique_ptr<HidHandle> MakeOverlappedHidHandle(void* handle, std::size_t inputReportLength);

}  // namespace qb
