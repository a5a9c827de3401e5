// The workshop's log: one line per device programmed, CSV (RFC 4180) or JSON lines, each on the disk before the
// next device is taken. Appends to an existing log of the same format; refuses anything else.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qb {

struct Outcome;

enum class LogFormat { Csv, JsonLines };

struct WorkshopEntry {
    std::chrono::system_clock::time_point time;
    std::string path;     // the interface the device was reached through
    std::string serial;   // the device's serial number
    std::string version;  // the device's firmware version text (UTF-8)
    std::string result;   // one word: ok, not-verified, no-answer, ...
    std::string detail;   // what differed or why it failed, one line per item
    std::int64_t durationMs = 0;
};

// The entry for an operation's end: the device it identified, its result word, and its differences or its
// message as the detail.
WorkshopEntry EntryFor(const Outcome& outcome, std::string path, std::chrono::milliseconds took,
                       std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
std::string ResultWord(const Outcome& outcome);

// A device's own text made safe to show: control bytes, backslashes and bytes that are no UTF-8 as \XX.
std::string ShowDeviceText(std::string_view text);
// One CSV field: quoted where it holds a comma, a quote or a line break (quotes doubled, line breaks kept), and
// with an apostrophe in front where a spreadsheet would take it for a formula (it starts with =, +, -, @, a tab
// or a carriage return). Plain numbers ("-12", "+3.5") are left alone: they are no formula and stay numbers.
std::string CsvField(std::string_view text);
// The line for `entry` without its line end; the CSV header. JSON lines are not neutralised: no spreadsheet
// reads them.
std::string FormatLogLine(const WorkshopEntry& entry, LogFormat format);
std::string_view CsvHeader();

class WorkshopLog {
public:
    ~WorkshopLog();
    WorkshopLog(const WorkshopLog&) = delete;
    WorkshopLog& operator=(const WorkshopLog&) = delete;

    // Opens `path` for appending, making it if it is missing, without ever waiting: a FIFO, a device or a
    // folder is refused, as is a file that holds something other than this format's log. A new or empty file
    // gets the CSV header. Null with `error` set on failure.
    static std::unique_ptr<WorkshopLog> Open(const std::string& path, LogFormat format, std::string& error);
    // Takes an open file descriptor as it is, without the checks: for tests that need a file that fails to write.
    static std::unique_ptr<WorkshopLog> AdoptForTest(int fd, LogFormat format, std::string name);

    // Appends the entry's line and has it on the disk before it returns. False with error() set if not.
    bool write(const WorkshopEntry& entry);
    const std::string& error() const { return error_; }

private:
    WorkshopLog(int fd, LogFormat format, std::string name);
    bool writeAll(std::string_view bytes);

    int fd_;
    LogFormat format_;
    std::string name_;
    bool lineEndFirst_ = false;  // the file ended in a cut-off line: the next line starts on a line of its own
    std::string error_;
};

}  // namespace qb
