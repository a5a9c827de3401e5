// Where the program looks for the device.
#pragma once

#include <memory>

#include "device/Transport.h"

namespace qb {

// The real HID layer, or with `simulate` a simulated device that answers like the real one.
std::unique_ptr<Transport> makeTransport(bool simulate);

}  // namespace qb
