#include "workshop/WorkshopLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "config/Codepage.h"
#include "config/Text.h"
#include "protocol/Outcome.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "config/Win32.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qb {

namespace {

constexpr std::string_view kCsvHeader = "time,path,serial,version,result,detail,duration_ms";
constexpr std::string_view kCsvLineEnd = "\r\n";  // RFC 4180; line breaks inside a field stay as they are

// The file calls each platform names differently.
#ifdef _WIN32
int OpenForAppend(const std::string& path) {
    const std::u16string wide = FromUtf8(path);
    return _wopen(reinterpret_cast<const wchar_t*>(wide.c_str()),
                  _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
// Only a file on a disk: no console, printer port or pipe.
const char* NotAFile(int fd) {
    return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) == FILE_TYPE_DISK ? nullptr
                                                                                       : "not a file on a disk";
}
long long FileSize(int fd) {
    return _filelengthi64(fd);
}
long ReadAt(int fd, long long offset, char* data, unsigned size) {
    if (_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
    return _read(fd, data, size);
}
long WriteSome(int fd, const char* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int SyncFile(int fd) {
    return _commit(fd);
}
void CloseFile(int fd) {
    _close(fd);
}
void Lock(int, bool) {}  // appends are whole lines; two programs starting on one new file at once is not guarded
#else
int OpenForAppend(const std::string& path) {
    // Non-blocking, so that a FIFO without a reader does not hold the program here; refused below anyway.
    return ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
}
const char* NotAFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return "cannot be looked at";
    if (S_ISREG(st.st_mode)) return nullptr;
    if (S_ISFIFO(st.st_mode)) return "a FIFO, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device, not a file";
    if (S_ISSOCK(st.st_mode)) return "a socket, not a file";
    return "not a regular file";
}
long long FileSize(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
long ReadAt(int fd, long long offset, char* data, unsigned size) {
    return static_cast<long>(::pread(fd, data, size, static_cast<off_t>(offset)));
}
long WriteSome(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}
int SyncFile(int fd) {
    return ::fsync(fd);
}
void CloseFile(int fd) {
    ::close(fd);
}
// Two programs opening one new log at once: one header between them.
void Lock(int fd, bool on) {
    while (::flock(fd, on ? LOCK_EX : LOCK_UN) != 0 && errno == EINTR) {
    }
}
#endif

std::string Describe(int error) {
    switch (error) {
        case ENOENT:
            return "its folder does not exist";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EROFS:
            return "the file system is read-only";
        case EISDIR:
            return "it is a folder";
        case ENXIO:
            return "a FIFO or device, not a file";
        case ENOSPC:
            return "the disk is full";
        default:
            return std::strerror(error);
    }
}

bool IsPlainNumber(std::string_view text) {
    std::size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
    const std::size_t digitsFrom = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digitsFrom) return false;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == fraction) return false;
    }
    return i == text.size();
}

// The length of the well-formed UTF-8 character at `text[i]`, 0 if it is none.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    // No overlong forms, surrogates or code points past U+10FFFF.
    const unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

std::string FormatTime(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[96];  // room for any int the compiler cannot rule out
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>((ms % 1000 + 1000) % 1000));
    return text;
}

std::string Utf8Lines(const std::u16string& text) {
    std::string lines = ToUtf8(text);
    for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.erase(at, 1);
    return lines;
}

}  // namespace

std::string ResultWord(const Outcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::Done:
            return "ok";
        case OutcomeKind::NotFound:
            return "not-found";
        case OutcomeKind::NoAccess:
            return "no-access";
        case OutcomeKind::InUse:
            return "in-use";
        case OutcomeKind::ProgramMode:
            return "program-mode";
        case OutcomeKind::NotQuillanterbrooke:
            return "not-quillanterbrooke";
        case OutcomeKind::NoAnswer:
            return "no-answer";
        case OutcomeKind::Disconnected:
            return "disconnected";
        case OutcomeKind::NotVerified:
            return "not-verified";
        case OutcomeKind::MessageRefused:
            return "message-refused";
        case OutcomeKind::BadConfiguration:
            return "bad-configuration";
        case OutcomeKind::Stopped:
            return "stopped";
    }
    return "failed";
}

WorkshopEntry EntryFor(const Outcome& outcome, std::string path, std::chrono::milliseconds took,
                       std::chrono::system_clock::time_point when) {
    WorkshopEntry entry;
    entry.time = when;
    entry.path = std::move(path);
    if (outcome.device) {
        if (!outcome.device->path.empty()) entry.path = outcome.device->path;
        entry.serial = std::to_string(outcome.device->serial);
        entry.version = ToUtf8(FromAnsi(outcome.device->version));
    }
    entry.result = ResultWord(outcome);
    if (outcome.kind == OutcomeKind::NotVerified) {
        for (const std::string& difference : outcome.differences)
            entry.detail += (entry.detail.empty() ? "" : "\n") + difference;
    } else if (!outcome.ok()) {
        entry.detail = Utf8Lines(outcome.text);
        if (!outcome.holder.empty()) entry.detail += (entry.detail.empty() ? "" : "\n") + ToUtf8(outcome.holder);
    }
    entry.durationMs = took.count();
    return entry;
}

std::string ShowDeviceText(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0 || c < 0x20 || c == 0x7F || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\%02X", c);
            shown += hex;
            ++i;
        } else {
            shown.append(text.substr(i, length));
            i += length;
        }
    }
    return shown;
}

std::string CsvField(std::string_view text) {
    std::string field;
    if (!text.empty() && std::strchr("=+-@\t\r", text[0]) != nullptr && !IsPlainNumber(text)) field = "'";
    field.append(text);
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string_view CsvHeader() {
    return kCsvHeader;
}

std::string FormatLogLine(const WorkshopEntry& entry, LogFormat format) {
    const std::string time = FormatTime(entry.time);
    const std::string serial = ShowDeviceText(entry.serial);
    const std::string version = ShowDeviceText(entry.version);
    if (format == LogFormat::JsonLines) {
        nlohmann::ordered_json line;
        line["time"] = time;
        line["path"] = entry.path;
        line["serial"] = serial;
        line["version"] = version;
        line["result"] = entry.result;
        line["detail"] = entry.detail;
        line["duration_ms"] = entry.durationMs;
        // Text that is no UTF-8 (a path, a message) is shown with replacement characters rather than refused.
        return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }
    std::string line;
    for (const std::string_view field :
         {std::string_view(time), std::string_view(entry.path), std::string_view(serial), std::string_view(version),
          std::string_view(entry.result), std::string_view(entry.detail)}) {
        line += CsvField(field);
        line += ',';
    }
    return line + std::to_string(entry.durationMs);
}

WorkshopLog::WorkshopLog(int fd, LogFormat format, std::string name)
    : fd_(fd), format_(format), name_(std::move(name)) {}

WorkshopLog::~WorkshopLog() {
    CloseFile(fd_);
}

std::unique_ptr<WorkshopLog> WorkshopLog::AdoptForTest(int fd, LogFormat format, std::string name) {
    return std::unique_ptr<WorkshopLog>(new WorkshopLog(fd, format, std::move(name)));
}

std::unique_ptr<WorkshopLog> WorkshopLog::Open(const std::string& path, LogFormat format, std::string& error) {
    const int fd = OpenForAppend(path);
    if (fd < 0) {
        error = "Cannot open the log " + path + ": " + Describe(errno) + ".";
        return nullptr;
    }
    std::unique_ptr<WorkshopLog> log(new WorkshopLog(fd, format, path));
    if (const char* what = NotAFile(fd)) {
        error = "Cannot use " + path + " as the log: " + what + ".";
        return nullptr;
    }
    Lock(fd, true);
    const long long size = FileSize(fd);
    bool ok = size >= 0;
    if (ok && size == 0 && format == LogFormat::Csv) {
        ok = log->writeAll(std::string(kCsvHeader) + std::string(kCsvLineEnd));
        if (!ok) error = log->error_;
    } else if (ok && size > 0) {
        // Only a log of the same kind is appended to: anything else stays as it is.
        std::string start(kCsvHeader.size() + 2, '\0');
        const long got = ReadAt(fd, 0, start.data(), static_cast<unsigned>(start.size()));
        start.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        const bool same = format == LogFormat::Csv ? start.rfind(std::string(kCsvHeader) + "\r\n", 0) == 0 ||
                                                         start.rfind(std::string(kCsvHeader) + "\n", 0) == 0
                                                   : !start.empty() && start[0] == '{';
        char last = '\n';
        if (!same) {
            ok = false;
            error = "Cannot use " + path + " as the log: it holds something other than a " +
                    (format == LogFormat::Csv ? "CSV" : "JSON lines") + " workshop log; it was left as it was.";
        } else if (ReadAt(fd, size - 1, &last, 1) == 1 && last != '\n') {
            log->lineEndFirst_ = true;
        }
    } else if (!ok) {
        error = "Cannot use " + path + " as the log: " + std::strerror(errno) + ".";
    }
    Lock(fd, false);
    if (!ok) return nullptr;
    return log;
}

bool WorkshopLog::writeAll(std::string_view bytes) {
    // One write call for the line where the system takes it whole: appends of two programs do not interleave.
    while (!bytes.empty()) {
        const long n = WriteSome(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = "Cannot write the log " + name_ + ": " + Describe(n < 0 ? errno : EIO) + ".";
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    if (SyncFile(fd_) != 0) {
        error_ = "Cannot write the log " + name_ + " to the disk: " + Describe(errno) + ".";
        return false;
    }
    return true;
}

bool WorkshopLog::write(const WorkshopEntry& entry) {
    const std::string_view lineEnd = format_ == LogFormat::Csv ? kCsvLineEnd : std::string_view("\n");
    std::string line = lineEndFirst_ ? std::string(lineEnd) : std::string();
    line += FormatLogLine(entry, format_);
    line += lineEnd;
    if (!writeAll(line)) return false;
    lineEndFirst_ = false;
    return true;
}

}  // namespace qb
