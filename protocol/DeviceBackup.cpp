#include "protocol/DeviceBackup.h"

#include "config/Backups.h"
#include "protocol/DeviceImage.h"
#include "protocol/Operations.h"

namespace qb {

DeviceBackup SaveDeviceBackup(const Outcome& read) {
    DeviceBackup result;
    if (!read.ok() || !read.read || !read.device) {
        result.error = "the device's configuration could not be read";
        return result;
    }
    const BackupDir dir = DefaultBackupDir();
    if (!dir.error.empty()) {
        result.error = dir.error;
        return result;
    }
    KeypadConfig held;
    ApplyDefaults(held);
    TakeOverDeviceValues(*read.read, held);
    result.messagesRead = DecodeMessageBlocks(*read.read).messages.has_value();
    const BackupSaved saved = SaveBackup(dir.path, FormatSerial(read.device->serial), held,
                                         {result.messagesRead, read.device->version, read.device->path});
    result.error = saved.error;
    result.path = saved.path;
    return result;
}

}  // namespace qb
