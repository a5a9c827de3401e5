#include "config/Backups.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#include <nlohmann/json.hpp>

#include "config/Bytes.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"

#ifdef _WIN32
#include "config/Win32.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <cstdio>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qb {

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr char kPrefix[] = "QB";
constexpr char kExtension[] = ".dat";
constexpr char kSidecarExtension[] = ".json";
constexpr char kSidecarFormat[] = "quillanterbrooke-backup";
constexpr std::size_t kMaxSerialBytes = 64;  // a name stays far below any file system's limit
constexpr int kMaxSequence = 1000;
constexpr std::size_t kMaxSidecarSize = 64 * 1024;

std::string PathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ErrorText(const std::error_code& ec) {
    return ec.message();
}

// Letters and digits stay; every other byte becomes "_" and its two hex digits, so the name is safe everywhere and
// still tells serials apart.
std::string EncodeSerial(std::string_view serial) {
    if (serial.empty()) return "_";
    std::string out;
    for (const char c : serial.substr(0, kMaxSerialBytes)) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            out += c;
        } else {
            out += '_';
            AppendHexByte(out, b);
        }
    }
    return out;
}

std::optional<std::string> DecodeSerial(std::string_view text) {
    if (text == "_") return std::string();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b != '_') {
            if (!((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))) return std::nullopt;
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(static_cast<unsigned char>(text[i + 1]));
        const int low = HexValue(static_cast<unsigned char>(text[i + 2]));
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string Digits(long long value, int width) {
    std::string text = std::to_string(value);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))), '0') + text;
}

struct Stamp {
    year_month_day date;
    hh_mm_ss<milliseconds> time;
};

Stamp StampOf(system_clock::time_point when) {
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    return {year_month_day(day), hh_mm_ss<milliseconds>(ms - day)};
}

// 20261207-081530-123
std::string NameTime(const Stamp& s) {
    return Digits(int(s.date.year()), 4) + Digits(unsigned(s.date.month()), 2) + Digits(unsigned(s.date.day()), 2) +
           "-" + Digits(s.time.hours().count(), 2) + Digits(s.time.minutes().count(), 2) +
           Digits(s.time.seconds().count(), 2) + "-" + Digits(s.time.subseconds().count(), 3);
}

// 2026-12-07T08:15:30.123Z
std::string IsoTime(const Stamp& s) {
    return Digits(int(s.date.year()), 4) + "-" + Digits(unsigned(s.date.month()), 2) + "-" +
           Digits(unsigned(s.date.day()), 2) + "T" + Digits(s.time.hours().count(), 2) + ":" +
           Digits(s.time.minutes().count(), 2) + ":" + Digits(s.time.seconds().count(), 2) + "." +
           Digits(s.time.subseconds().count(), 3) + "Z";
}

std::string BackupName(const std::string& encodedSerial, const Stamp& stamp, int sequence) {
    std::string name = std::string(kPrefix) + "-" + encodedSerial + "-" + NameTime(stamp);
    if (sequence > 1) name += "-" + std::to_string(sequence);
    return name + kExtension;
}

std::optional<long long> Number(std::string_view text, std::size_t width) {
    if (text.size() != width || width == 0) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The entry a file name stands for, if it is a backup's.
std::optional<BackupEntry> ParseName(const fs::path& path) {
    const std::string name = PathText(path.filename());
    const std::string_view ext(kExtension);
    if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0) return std::nullopt;
    std::vector<std::string_view> parts;
    std::string_view rest(name.data(), name.size() - ext.size());
    for (std::size_t dash; (dash = rest.find('-')) != std::string_view::npos; rest.remove_prefix(dash + 1))
        parts.push_back(rest.substr(0, dash));
    parts.push_back(rest);
    if ((parts.size() != 5 && parts.size() != 6) || parts[0] != kPrefix) return std::nullopt;

    BackupEntry entry;
    const std::optional<std::string> serial = DecodeSerial(parts[1]);
    const auto date = Number(parts[2], 8);
    const auto clock = Number(parts[3], 6);
    const auto ms = Number(parts[4], 3);
    if (!serial || !date || !clock || !ms) return std::nullopt;
    if (parts.size() == 6) {
        const auto sequence = parts[5].size() <= 4 ? Number(parts[5], parts[5].size()) : std::nullopt;
        if (!sequence || *sequence < 2) return std::nullopt;
        entry.sequence = static_cast<int>(*sequence);
    }
    const year_month_day ymd{year(int(*date / 10000)), month(unsigned(*date / 100 % 100)), day(unsigned(*date % 100))};
    const long long hours = *clock / 10000, minutes = *clock / 100 % 100, seconds = *clock % 100;
    if (!ymd.ok() || hours > 23 || minutes > 59 || seconds > 59) return std::nullopt;
    entry.time = time_point_cast<system_clock::duration>(sys_days(ymd) + std::chrono::hours(hours) +
                                                         std::chrono::minutes(minutes) + std::chrono::seconds(seconds) +
                                                         milliseconds(*ms));
    entry.serial = *serial;
    entry.path = path;
    return entry;
}

fs::path SidecarOf(const fs::path& backup) {
    fs::path sidecar = backup;
    return sidecar.replace_extension(kSidecarExtension);
}

std::optional<bool> ReadMessagesRead(const fs::path& sidecar) {
    DiskFileAccess disk;
    const auto bytes = disk.read(sidecar, kMaxSidecarSize);
    if (!bytes) return std::nullopt;
    const nlohmann::json json = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
    if (!json.is_object() || !json.contains("messagesRead") || !json["messagesRead"].is_boolean()) return std::nullopt;
    return json["messagesRead"].get<bool>();
}

// Creates `path` as a new empty file, failing if anything stands there: two backups of one millisecond, from this
// program or another, never take the same name.
std::error_code CreateNew(const fs::path& path) {
#ifdef _WIN32
    // Not _wfopen's "x": the C library MinGW links against ignores it and empties an existing file.
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return std::make_error_code(std::errc::file_exists);
        return {static_cast<int>(error), std::system_category()};
    }
    CloseHandle(file);
    return {};
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return {errno, std::generic_category()};
    ::close(fd);
    return {};
#endif
}

std::vector<std::uint8_t> SidecarBytes(std::string_view serial, const BackupNote& note, const Stamp& stamp) {
    nlohmann::ordered_json json;
    json["format"] = kSidecarFormat;
    json["version"] = 1;
    json["serial"] = std::string(serial);
    json["deviceVersion"] = note.deviceVersion;
    json["devicePath"] = note.devicePath;
    json["time"] = IsoTime(stamp);
    json["messagesRead"] = note.messagesRead;
    json["messages"] = note.messagesRead ? "read from the device" : kMessagesNotReadText;
    const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return {text.begin(), text.end()};
}

// "" if `dir` is a folder or has been made one.
std::string MakeFolder(const fs::path& dir) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (fs::is_directory(status)) return {};
    if (fs::exists(status))
        return "the backup folder " + PathText(dir) + " is no folder (a file or a device stands there)";
    if (fs::create_directories(dir, ec); ec)
        return "cannot make the backup folder " + PathText(dir) + ": " + ErrorText(ec);
    return {};
}

bool Newer(const BackupEntry& a, const BackupEntry& b) {
    if (a.time != b.time) return a.time > b.time;
    if (a.sequence != b.sequence) return a.sequence > b.sequence;
    return a.path > b.path;
}

}  // namespace

BackupDir DefaultBackupDir() {
    const char* chosen = std::getenv(kBackupDirVariable);
    if (chosen && *chosen) return {fs::path(chosen), {}};
#ifdef _WIN32
    PWSTR folder = nullptr;
    BackupDir dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)) && folder)
        dir.path = fs::path(folder) / "Quillanterbrooke" / "backups";
    else
        dir.error = "the local application data folder is unknown: set QB_BACKUP_DIR to choose a backup folder";
    CoTaskMemFree(folder);
    return dir;
#else
    const char* home = std::getenv("HOME");
    const bool hasHome = home && *home;
#ifdef __APPLE__
    if (hasHome) return {fs::path(home) / "Library" / "Application Support" / "Quillanterbrooke" / "backups", {}};
#else
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data && fs::path(data).is_absolute()) return {fs::path(data) / "quillanterbrooke" / "backups", {}};
    if (hasHome) return {fs::path(home) / ".local" / "share" / "quillanterbrooke" / "backups", {}};
#endif
    return {{}, "no home folder is known (HOME is not set): set QB_BACKUP_DIR to choose a backup folder"};
#endif
}

BackupSaved SaveBackup(const fs::path& dir, std::string_view serial, const KeypadConfig& config, const BackupNote& note,
                       system_clock::time_point when) {
    BackupSaved saved;
    if (dir.empty()) {
        saved.error = "no backup folder given";
        return saved;
    }
    if (saved.error = MakeFolder(dir); !saved.error.empty()) return saved;

    const Stamp stamp = StampOf(when);
    const std::string encoded = EncodeSerial(serial);
    fs::path path;
    std::error_code ec;
    for (int sequence = 1; sequence <= kMaxSequence; ++sequence) {
        path = dir / BackupName(encoded, stamp, sequence);
        ec = CreateNew(path);
        if (ec != std::errc::file_exists) break;
    }
    if (ec) {
        saved.error = "cannot write in the backup folder " + PathText(dir) + ": " + ErrorText(ec);
        return saved;
    }

    DiskFileAccess disk;
    std::error_code ignored;
    if (!disk.write(path, EncodeDataFile(config))) {
        fs::remove(path, ignored);
        saved.error = "cannot write the backup " + PathText(path);
        return saved;
    }
    const fs::path sidecar = SidecarOf(path);
    if (!disk.write(sidecar, SidecarBytes(serial, note, stamp))) {
        fs::remove(path, ignored);
        saved.error = "cannot write the backup's note " + PathText(sidecar);
        return saved;
    }
    saved.path = path;

    // Retention: the newest ones of this device stay, this one whatever the clock says; other devices' are not
    // looked at.
    const BackupList mine = ListBackups(dir, std::string(serial.substr(0, kMaxSerialBytes)));
    std::size_t kept = 1;
    for (const BackupEntry& entry : mine.entries) {
        if (entry.path == path) continue;
        if (kept < kBackupsKept) {
            ++kept;
            continue;
        }
        fs::remove(entry.path, ignored);
        fs::remove(SidecarOf(entry.path), ignored);
    }
    return saved;
}

BackupList ListBackups(const fs::path& dir, const std::optional<std::string>& serial) {
    BackupList list;
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (!fs::exists(status)) return list;
    if (!fs::is_directory(status)) {
        list.error = "the backup folder " + PathText(dir) + " is no folder";
        return list;
    }
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::optional<BackupEntry> entry = ParseName(it->path());
        if (!entry || (serial && entry->serial != *serial)) continue;
        std::error_code fileError;
        // A name taken by a backup still being written (or by one cut short) is empty.
        if (!it->is_regular_file(fileError) || it->file_size(fileError) != kDataFileSize || fileError) continue;
        entry->messagesRead = ReadMessagesRead(SidecarOf(entry->path));
        list.entries.push_back(std::move(*entry));
    }
    if (ec) {
        list.error = "cannot list the backup folder " + PathText(dir) + ": " + ErrorText(ec);
        list.entries.clear();
        return list;
    }
    std::sort(list.entries.begin(), list.entries.end(), Newer);
    return list;
}

BackupFound LatestBackup(const fs::path& dir, const std::optional<std::string>& serial) {
    BackupList list = ListBackups(dir, serial);
    BackupFound found;
    found.error = std::move(list.error);
    if (!list.entries.empty()) found.entry = std::move(list.entries.front());
    return found;
}

}  // namespace qb
