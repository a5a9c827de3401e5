// The workshop log on real files: what a spreadsheet or a script reading it gets, and files that are no logs.
#include "workshop/WorkshopLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "protocol/Outcome.h"
#include "tests/support/ScratchFolder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qb {
namespace {

using namespace std::chrono_literals;

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Put(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

WorkshopEntry Entry(std::string serial = "1001") {
    WorkshopEntry entry;
    entry.time = std::chrono::system_clock::time_point(1796628605123ms);  // 2026-12-07T07:30:05.123Z
    entry.path = "/dev/hidraw0";
    entry.serial = std::move(serial);
    entry.version = "1.00";
    entry.result = "ok";
    entry.durationMs = 412;
    return entry;
}

TEST(WorkshopLogTest, CsvFieldsAreQuotedAndFormulasNeutralised) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c :
         {Case{"plain", "plain"}, Case{"", ""}, Case{"a,b", "\"a,b\""}, Case{"say \"hi\"", "\"say \"\"hi\"\"\""},
          Case{"block 1\nblock 2\r\n", "\"block 1\nblock 2\r\n\""}, Case{"=1+2", "'=1+2"},
          Case{"=HYPERLINK(\"x\",1)", "\"'=HYPERLINK(\"\"x\"\",1)\""}, Case{"+x", "'+x"}, Case{"-x", "'-x"},
          Case{"@SUM(A1)", "'@SUM(A1)"}, Case{"\tx", "'\tx"}, Case{"\rx", "\"'\rx\""}, Case{"-12", "-12"},
          Case{"+3.5", "+3.5"}, Case{"-1.", "'-1."}, Case{"-", "'-"}, Case{"a=b", "a=b"}})
        EXPECT_EQ(CsvField(c.in), c.out) << c.in;
}

TEST(WorkshopLogTest, DeviceTextsShowControlBytesAndNonUtf8AsHex) {
    EXPECT_EQ(ShowDeviceText("1.00\x01\x1f\x7f"), "1.00\\01\\1F\\7F");
    EXPECT_EQ(ShowDeviceText("a\\b"), "a\\5Cb") << "a backslash would make \\01 ambiguous";
    EXPECT_EQ(ShowDeviceText("V\xC3\xA9rsion \xE2\x82\xAC"), "V\xC3\xA9rsion \xE2\x82\xAC") << "UTF-8 stays";
    EXPECT_EQ(ShowDeviceText("\xE9x\xC3"), "\\E9x\\C3") << "bytes that are no UTF-8, a cut-off one at the end";
    EXPECT_EQ(ShowDeviceText("\xC0\xAF\xED\xA0\x80"), "\\C0\\AF\\ED\\A0\\80") << "overlong form, surrogate";

    WorkshopEntry entry = Entry("10\n01");
    entry.version = "=1\x07";
    entry.detail = "block 3: wrote 41, read 42\nblock 4: wrote 0, read 1";
    EXPECT_EQ(FormatLogLine(entry, LogFormat::Csv),
              "2026-12-07T07:30:05.123Z,/dev/hidraw0,10\\0A01,'=1\\07,ok,"
              "\"block 3: wrote 41, read 42\nblock 4: wrote 0, read 1\",412");
    const auto json = nlohmann::json::parse(FormatLogLine(entry, LogFormat::JsonLines));
    EXPECT_EQ(json["serial"], "10\\0A01");
    EXPECT_EQ(json["version"], "=1\\07") << "no spreadsheet reads JSON: nothing neutralised";
    EXPECT_EQ(json["detail"], entry.detail);
    EXPECT_EQ(json["duration_ms"], 412);
    EXPECT_EQ(json["time"], "2026-12-07T07:30:05.123Z");
}

TEST(WorkshopLogTest, TheEntryForAnOutcomeTellsWhatDifferedOrWhy) {
    Outcome outcome;
    outcome.kind = OutcomeKind::NotVerified;
    outcome.device = DeviceIdentity{"/dev/hidraw2", "1.0\xE9", 1003, "S3"};
    outcome.differences = {"Key 1: wrote a, read b", "Baud rate: wrote 9600, read 4800"};
    WorkshopEntry entry = EntryFor(outcome, "/dev/hidraw9", 1500ms);
    EXPECT_EQ(entry.path, "/dev/hidraw2");
    EXPECT_EQ(entry.serial, "1003");
    EXPECT_EQ(entry.version, "1.0\xC3\xA9") << "the device's code page read as UTF-8";
    EXPECT_EQ(entry.result, "not-verified");
    EXPECT_EQ(entry.detail, "Key 1: wrote a, read b\nBaud rate: wrote 9600, read 4800");
    EXPECT_EQ(entry.durationMs, 1500);

    outcome = {};
    outcome.kind = OutcomeKind::Disconnected;
    outcome.text = u"Cannot communicate with VELMORA\r\nThe device was disconnected.";
    entry = EntryFor(outcome, "/dev/hidraw9", 10ms);
    EXPECT_EQ(entry.path, "/dev/hidraw9");
    EXPECT_EQ(entry.serial, "");
    EXPECT_EQ(entry.result, "disconnected");
    EXPECT_EQ(entry.detail, "Cannot communicate with VELMORA\nThe device was disconnected.");
}

TEST(WorkshopLogTest, TheHeaderIsWrittenOncePerFile) {
    test::ScratchFolder folder;
    const std::string header = std::string(CsvHeader()) + "\r\n";
    const std::string line = FormatLogLine(Entry(), LogFormat::Csv) + "\r\n";
    const std::string cut = header + "2026-12-07T07:30:05.123Z,/dev/hid";  // a crash, a full disk
    Put(folder / "empty.csv", "");
    Put(folder / "cut.csv", cut);
    // Two runs of a line each; after a line cut off, the next starts on a line of its own.
    for (const auto& [name, before] :
         {std::pair<const char*, std::string>{"fresh.csv", header}, {"empty.csv", header}, {"cut.csv", cut + "\r\n"}}) {
        SCOPED_TRACE(name);
        for (int run = 0; run < 2; ++run) {
            std::string error;
            auto log = WorkshopLog::Open((folder / name).string(), LogFormat::Csv, error);
            ASSERT_TRUE(log) << error;
            ASSERT_TRUE(log->write(Entry())) << log->error();
        }
        EXPECT_EQ(Contents(folder / name), before + line + line);
    }

    // JSON lines have no header.
    std::string error;
    auto log = WorkshopLog::Open((folder / "log.jsonl").string(), LogFormat::JsonLines, error);
    ASSERT_TRUE(log) << error;
    ASSERT_TRUE(log->write(Entry()));
    EXPECT_EQ(Contents(folder / "log.jsonl"), FormatLogLine(Entry(), LogFormat::JsonLines) + "\n");
}

TEST(WorkshopLogTest, WhatIsNoLogOfItsFormatIsRefusedAndLeftAsItWas) {
    test::ScratchFolder folder;
    std::filesystem::create_directory(folder / "folder");
    Put(folder / "notes.txt", "my notes\n");
    Put(folder / "log.jsonl", "{\"time\":\"x\"}\n");
    struct Case {
        std::string path;
        LogFormat format;
        const char* why;
    };
    for (const Case& c : {Case{(folder / "missing" / "log.csv").string(), LogFormat::Csv, "folder does not exist"},
                          Case{(folder / "folder").string(), LogFormat::Csv, ""},
                          Case{(folder / "notes.txt").string(), LogFormat::Csv, "something other"},
                          Case{(folder / "notes.txt").string(), LogFormat::JsonLines, "something other"},
                          Case{(folder / "log.jsonl").string(), LogFormat::Csv, "something other"}}) {
        SCOPED_TRACE(c.path);
        std::string error;
        EXPECT_FALSE(WorkshopLog::Open(c.path, c.format, error));
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
    }
    EXPECT_EQ(Contents(folder / "notes.txt"), "my notes\n");
    EXPECT_EQ(Contents(folder / "log.jsonl"), "{\"time\":\"x\"}\n");
}

#ifndef _WIN32
TEST(WorkshopLogTest, FifosAndDevicesAreRefusedWithoutWaiting) {
    test::ScratchFolder folder;
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        const auto before = std::chrono::steady_clock::now();
        std::string error;
        EXPECT_FALSE(WorkshopLog::Open(path, LogFormat::Csv, error)) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
        EXPECT_NE(error.find("not a file"), std::string::npos) << error;
    }
    // A read-only target; root writes read-only files, but not this one of the kernel's.
    std::string readOnly = "/sys/kernel/notes";
    if (::geteuid() != 0) {
        readOnly = (folder / "read-only.csv").string();
        Put(readOnly, "");
        std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    }
    if (::access(readOnly.c_str(), F_OK) == 0) {
        std::string error;
        EXPECT_FALSE(WorkshopLog::Open(readOnly, LogFormat::Csv, error));
        EXPECT_NE(error.find("permission denied"), std::string::npos) << error;
    }
}

TEST(WorkshopLogTest, AFailedWriteIsReported) {
    const int fd = ::open("/dev/full", O_RDWR | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    auto log = WorkshopLog::AdoptForTest(fd, LogFormat::Csv, "/dev/full");
    EXPECT_FALSE(log->write(Entry()));
    EXPECT_NE(log->error().find("disk is full"), std::string::npos) << log->error();
}
#endif

}  // namespace
}  // namespace qb
