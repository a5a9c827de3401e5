#include "device/Transport.h"

#include <cstdio>

namespace qb {

std::string MakeHardwareId(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t release) {
    char text[40];
    std::snprintf(text, sizeof text, "HID\\VID_%04X&PID_%04X&REV_%04X", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId), static_cast<unsigned>(release));
    return text;
}

}  // namespace qb
