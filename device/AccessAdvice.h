// What lets this user open an encoder that is attached but refused: the same advice as the README and the help.
#pragma once

#include <string>

namespace qb {

// The udev rule that opens the device to its users (Linux).
inline constexpr char kUdevRuleFile[] = "70-quillanterbrooke.rules";

// Lines separated by "\r\n", without a leading or trailing break. On Linux: how to install the udev rule, and
// what a user who is not at the computer (an SSH session, a service) needs besides; elsewhere: the device is
// held by another program.
std::u16string NoAccessAdvice();

}  // namespace qb
