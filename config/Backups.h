// Backups of what a device held: data files in a folder of the user's, one per reading, the newest 50 of each
// device kept.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/KeypadConfig.h"

namespace qb {

inline constexpr std::size_t kBackupsKept = 50;  // per device
inline constexpr char kBackupDirVariable[] = "QB_BACKUP_DIR";
inline constexpr char kMessagesNotReadText[] = "not read: the firmware does not serve them";

// Where backups go: $QB_BACKUP_DIR when set; otherwise on Linux $XDG_DATA_HOME/quillanterbrooke/backups (default
// ~/.local/share), on macOS ~/Library/Application Support/Quillanterbrooke/backups, on Windows
// Quillanterbrooke\backups in the local application data folder. `error` (UTF-8) when none can be found.
struct BackupDir {
    std::filesystem::path path;
    std::string error;
};
BackupDir DefaultBackupDir();

// What is known of the reading beside the configuration, kept in a sidecar file (the backup's name with .json).
struct BackupNote {
    // False where the firmware does not serve the message blocks: the backup's settings are the device's, its
    // messages are not.
    bool messagesRead = true;
    std::string deviceVersion;  // the appware version the device reported
    std::string devicePath;     // where it was attached
};

struct BackupSaved {
    std::filesystem::path path;  // the data file written
    std::string error;           // UTF-8; empty on success, and then `path` is set
};

// Writes `config` as a data file named QB-<serial>-<UTC date>-<time>-<milliseconds>.dat (another "-2", "-3" ... if
// that name is taken) and its sidecar, each through the safe replace of DiskFileAccess, making the folder if
// needed; then removes all but the newest kBackupsKept of this serial's backups (this one always stays). The serial
// is written with letters and digits only: any other byte becomes "_" and two hex digits, an empty serial "_".
// Either both files are written or neither stays.
BackupSaved SaveBackup(const std::filesystem::path& dir, std::string_view serial, const KeypadConfig& config,
                       const BackupNote& note,
                       std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

struct BackupEntry {
    std::filesystem::path path;
    std::string serial;
    std::chrono::system_clock::time_point time;  // to the millisecond
    int sequence = 1;                            // 2, 3 ... for more backups of one millisecond
    std::optional<bool> messagesRead;            // from the sidecar; empty without a readable one
};

struct BackupList {
    std::vector<BackupEntry> entries;  // newest first
    std::string error;                 // UTF-8: the folder cannot be listed
};

// The backups in `dir` (of one serial number if given), newest first. Only names of the form above that hold a
// whole data file's size count; a missing folder holds none.
BackupList ListBackups(const std::filesystem::path& dir, const std::optional<std::string>& serial = std::nullopt);

struct BackupFound {
    std::optional<BackupEntry> entry;  // empty with an empty error: there is none
    std::string error;
};
BackupFound LatestBackup(const std::filesystem::path& dir, const std::optional<std::string>& serial = std::nullopt);

}  // namespace qb
