// Who the device is on the bus: USB vendor and product, and the releases of its two firmwares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qb {

inline constexpr std::uint16_t kVelmoraVendorId = 0x04D8;
inline constexpr std::uint16_t kQuillanterbrookeProductId = 0xFD37;
inline constexpr std::uint16_t kApplicationRelease = 0x0004;  // the keypad encoder's own firmware
inline constexpr std::uint16_t kProgramModeRelease = 0x0001;  // the firmware loader

// The first hardware id as the platform spells it: HID\VID_xxxx&PID_xxxx&REV_xxxx (hex, upper case).
std::string MakeHardwareId(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t release);

// What the search looks for in a first hardware id (case-insensitively): "Vid_04d8&Pid_fd37&rev_0004" for a
// release, "Vid_04d8&Pid_fd37" for any.
std::string RevisionSubstring(std::optional<std::uint16_t> release);

}  // namespace qb
