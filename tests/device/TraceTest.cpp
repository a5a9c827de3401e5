// Trace lines, the tracing decorator and the replay transport.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/ReplayTransport.h"
#include "device/Trace.h"
#include "device/TracingTransport.h"
#include "simulator/SimulatedDevice.h"
#include "tests/support/ScratchFolder.h"

namespace qb {
namespace {

using namespace std::chrono_literals;

HidReport Report(char command, std::uint8_t last = 0) {
    HidReport r{};
    r[1] = static_cast<std::uint8_t>(command);
    r[64] = last;
    return r;
}

std::string Hex(char command, std::uint8_t last = 0) {
    return FormatReport(Report(command, last));
}

TEST(Trace, ReadsPlainAndTimedLinesAndRefusesMalformedOnes) {
    std::vector<TraceEntry> entries;
    const std::string text = "# header\n\n" + Hex('S') + "\n0.000250 > " + Hex('E', 0xAB) + "\r\n12.5 < " + Hex('e') +
                             "\n  3 >" + std::string(" 00 45") + std::string(126, '0') + "\n";
    ASSERT_TRUE(ParseTraceEntries(text, entries));
    const std::vector<TraceEntry> expected{{std::nullopt, TraceDirection::ToDevice, Report('S')},
                                           {250us, TraceDirection::ToDevice, Report('E', 0xAB)},
                                           {12500000us, TraceDirection::FromDevice, Report('e')},
                                           {3s, TraceDirection::ToDevice, Report('E')}};
    EXPECT_EQ(entries, expected);

    // A timed line as written reads back as it was.
    const TraceEntry entry{1234567us, TraceDirection::FromDevice, Report('K', 7)};
    EXPECT_EQ(FormatTraceLine(*entry.time, entry.direction, entry.report), "1.234567 < " + Hex('K', 7));
    ASSERT_TRUE(ParseTraceEntries(FormatTraceLine(*entry.time, entry.direction, entry.report), entries));
    EXPECT_EQ(entries, std::vector<TraceEntry>{entry});

    for (const std::string& bad : {Hex('S').substr(2), Hex('S') + "00", Hex('S').substr(2) + "zz",
                                   "0.1234567 > " + Hex('S'), "-1 > " + Hex('S'), "> " + Hex('S'), "1. > " + Hex('S'),
                                   "0.5 >" + Hex('S'), "0.5 ! " + Hex('S'), "x1 < " + Hex('S'), "0.5 < 0" + Hex('S')})
        EXPECT_FALSE(ParseTraceEntries(bad, entries)) << bad;
}

// What a written and a read report become in the trace: the replay of a recorded write (CliTest).
TEST(TracingTransport, RecordsOnlyWhatWasReadOrWrittenAndNoticesALostLine) {
    auto device = std::make_unique<SimulatedDevice>();
    std::string text;
    bool keep = true;
    TracingTransport tracing(std::move(device), [&](std::string_view line) {
        text += line;
        return keep;
    });
    OpenResult opened = tracing.open(tracing.enumerate().at(0).path);
    ASSERT_TRUE(opened.handle);
    std::uint8_t answer[64];
    const HidReport report = Report('S');
    ASSERT_TRUE(opened.handle->write(report.data(), report.size()));
    ASSERT_EQ(opened.handle->read(answer, sizeof answer, 5000), 64);
    EXPECT_EQ(opened.handle->read(answer, sizeof answer, 0), 0);  // nothing read, nothing recorded
    std::vector<TraceEntry> entries;
    ASSERT_TRUE(ParseTraceEntries(text, entries)) << text;
    EXPECT_EQ(entries.size(), 2u) << text;

    EXPECT_TRUE(tracing.ok());
    keep = false;  // a full disk: noticed, and the device is still served
    EXPECT_TRUE(opened.handle->write(report.data(), report.size()));
    EXPECT_FALSE(tracing.ok());
}

TEST(TracingTransport, AFileThatCannotBeWrittenIsRefusedAtOnce) {
    const test::ScratchFolder folder;
    struct Case {
        std::string path;
        const char* why;
    };
    std::vector<Case> cases{{(folder / "missing" / "trace.txt").string(), "No such file"},
                            {folder.path.string(), "directory"}};
#if !defined(_WIN32)
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, "nobody reads that pipe"});
#endif
    for (const Case& c : cases) {
        std::string error;
        // Returns at once: a FIFO without a reader does not block.
        EXPECT_EQ(TracingTransport::ToFile(std::make_unique<SimulatedDevice>(), c.path, error), nullptr) << c.path;
        EXPECT_NE(error.find("Cannot write the trace " + c.path), std::string::npos) << error;
#if !defined(_WIN32)  // the system's own words for why
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
#endif
    }

    // An earlier trace is replaced; a file that holds anything else (a data file named by mistake) never is.
    std::string error;
    const std::string path = (folder / "trace.txt").string();
    { std::ofstream(path) << kTraceHeader << std::string(200, 'x'); }
    ASSERT_NE(TracingTransport::ToFile(std::make_unique<SimulatedDevice>(), path, error), nullptr) << error;
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(), kTraceHeader);
    const std::string other = (folder / "keypad.dat").string();
    { std::ofstream(other) << "\x01"; }
    EXPECT_EQ(TracingTransport::ToFile(std::make_unique<SimulatedDevice>(), other, error), nullptr);
    EXPECT_NE(error.find("is not a trace"), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::file_size(other), 1u);
}

#if !defined(_WIN32)
// A pipe whose reader has stopped reading ends the trace, told as a failure, instead of stopping the program.
TEST(TracingTransport, AStalledPipeEndsTheTraceInsteadOfTheProgram) {
    const test::ScratchFolder folder;
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // there, but never reading
    ASSERT_GE(reader, 0);
    std::string error;
    auto tracing = TracingTransport::ToFile(std::make_unique<SimulatedDevice>(), fifo, error);
    ASSERT_NE(tracing, nullptr) << error;
    bool told = false;
    tracing->setFailureHandler([&] { told = true; });
    const auto start = std::chrono::steady_clock::now();
    HidReport report{};
    for (int i = 0; i < 2000; ++i) tracing->record(TraceDirection::ToDevice, report);  // far more than a pipe holds
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(tracing->ok());
    EXPECT_TRUE(told);
    ::close(reader);
}
#endif

TEST(ReplayTransport, AnswersEachWrittenReportWithTheAnswersRecordedAfterIt) {
    using D = TraceDirection;
    ReplayTransport replay({{0us, D::FromDevice, Report('x')},
                            {1us, D::ToDevice, Report('S')},
                            {2us, D::FromDevice, Report('s')},
                            {3us, D::ToDevice, Report('E')},
                            {4us, D::FromDevice, Report('e')},
                            {5us, D::FromDevice, Report('f')},
                            {6us, D::ToDevice, Report('Z')}});
    const std::vector<HidInterfaceInfo> found = replay.enumerate();  // the encoder the search takes: CliTest
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(replay.open("elsewhere").handle);
    OpenResult writer = replay.open(found[0].path);
    OpenResult reader = replay.open(found[0].path);  // the handles share one place in the trace
    ASSERT_TRUE(writer.handle && reader.handle);

    std::uint8_t data[64];
    const auto readCommand = [&] { return reader.handle->read(data, sizeof data, 0) == 64 ? char(data[0]) : '-'; };
    EXPECT_EQ(readCommand(), 'x');  // sent by the device before it was asked anything
    EXPECT_EQ(readCommand(), '-');
    const HidReport other = Report('Q');
    for (const HidReport& sent : {Report('S'), other}) ASSERT_TRUE(writer.handle->write(sent.data(), sent.size()));
    EXPECT_EQ(std::string({readCommand(), readCommand(), readCommand(), readCommand()}), "sef-");
    EXPECT_EQ(replay.mismatches(), 1u);  // 'Q' stood where 'E' was recorded
    EXPECT_FALSE(replay.finished());
    const HidReport end = Report('Z');
    ASSERT_TRUE(writer.handle->write(end.data(), end.size()));
    EXPECT_TRUE(replay.finished());
    ASSERT_TRUE(writer.handle->write(end.data(), end.size()));  // past the end: unanswered
    EXPECT_EQ(readCommand(), '-');
    EXPECT_EQ(replay.mismatches(), 2u);
}

}  // namespace
}  // namespace qb
