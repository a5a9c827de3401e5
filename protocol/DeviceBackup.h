// A backup of what a device held, from a read of its settings and message blocks: what the window and the
// command line keep before every write.
#pragma once

#include <filesystem>
#include <string>

#include "protocol/Outcome.h"

namespace qb {

struct DeviceBackup {
    std::filesystem::path path;  // the backup written
    bool messagesRead = false;   // false: the firmware does not serve the messages, the backup holds the settings
    std::string error;           // UTF-8: why no backup could be made; empty when it was
};

// Keeps what `read` (a read with the message blocks) found in the user's backup folder.
DeviceBackup SaveDeviceBackup(const Outcome& read);

}  // namespace qb
