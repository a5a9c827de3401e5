// Where the program looks for the device.
#pragma once

#include <iosfwd>
#include <memory>

#include "device/Transport.h"

namespace qb {

// The real HID layer, or with `simulate` a simulated device that answers like the real one and holds what a new
// device holds.
std::unique_ptr<Transport> makeTransport(bool simulate);

// The command line's: with `simulate`, a simulated device that also keeps what was written into it from one run
// to the next (in SimulatorStatePath(); `fresh` forgets it first, so the run starts with a new device) and presses
// the keys that QB_SIMULATOR_KEYS lists ("5@0.5,A@1.0": key 5 half a second after the start, then A). Anything
// wrong with the kept state or the key list is told on `warnings` and otherwise ignored.
std::unique_ptr<Transport> MakeCommandLineTransport(bool simulate, bool fresh, std::ostream& warnings);

}  // namespace qb
