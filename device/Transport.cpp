#include "device/Transport.h"

#include <cstdio>

#include "device/DeviceIds.h"

namespace qb {

std::string MakeHardwareId(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t release) {
    char text[40];
    std::snprintf(text, sizeof text, "HID\\VID_%04X&PID_%04X&REV_%04X", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId), static_cast<unsigned>(release));
    return text;
}

std::string RevisionSubstring(std::optional<std::uint16_t> release) {
    char text[40];
    std::snprintf(text, sizeof text, "Vid_%04x&Pid_%04x", static_cast<unsigned>(kVelmoraVendorId),
                  static_cast<unsigned>(kQuillanterbrookeProductId));
    std::string id = text;
    if (release) {
        std::snprintf(text, sizeof text, "&rev_%04x", static_cast<unsigned>(*release));
        id += text;
    }
    return id;
}

HidInterfaceInfo HidInterfaceInfo::Make(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t release,
                                        std::string path) {
    HidInterfaceInfo info;
    info.hardwareIds.push_back(MakeHardwareId(vendorId, productId, release));
    info.path = std::move(path);
    info.release = release;
    return info;
}

OpenCheck Transport::probe(const std::string& path) {
    OpenResult opened = open(path);
    return {opened.failure, std::move(opened.holder)};
}

}  // namespace qb
