// What an operation ends in: one value given to whoever started it, whether a window or a script.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/DeviceImage.h"

namespace qb {

enum class OperationKind { Write, Read, KeypadTest };

enum class OutcomeKind {
    Done,                 // written (and verified when asked), read, or a keypad test ended by its user
    NotFound,             // no encoder attached (or none the device choice matches)
    NoAccess,             // attached, but this user may not open it
    InUse,                // another program holds the device
    ProgramMode,          // only its firmware loader answers
    NotQuillanterbrooke,  // the identity answer is not the encoder's
    NoAnswer,             // an answer stayed away for the whole reply allowance
    Disconnected,         // the device went away during the operation
    NotVerified,          // written, but the read-back differs
    MessageRefused,       // a message's escapes are invalid: nothing was sent
    BadConfiguration,     // the configuration cannot be written as it is (nothing was sent)
    Stopped,              // ended by the program before it was complete
};

// Who answered the identity request.
struct DeviceIdentity {
    std::string path;          // the interface the operation talked to
    std::string version;       // the appware version text as the device sent it (8-bit code page)
    std::int32_t serial = 0;   // the serial number in the identity answer
    std::string serialNumber;  // the USB serial number string, where the platform tells it
};

struct Outcome {
    OperationKind operation = OperationKind::Write;
    OutcomeKind kind = OutcomeKind::Done;
    std::optional<DeviceIdentity> device;  // set once the identity answer was accepted
    std::optional<DeviceImage> read;       // a read's blocks; a verified write's read-back
    std::vector<std::string> differences;  // NotVerified: one line per setting or key (UTF-8)
    bool verified = false;                 // a write was read back and agreed
    int unansweredPolls = 0;               // keypad test: polls that stayed unanswered
    std::u16string text;                   // the box the window shows for it ("\r\n" between lines), or empty
    std::u16string holder;                 // InUse: the program holding the device, where the platform tells

    bool ok() const { return kind == OutcomeKind::Done; }
};

// How far an operation is: reports answered of reports planned.
struct Progress {
    int done = 0;
    int planned = 0;
};

}  // namespace qb
