// Trace files as the replaying device reads them: any text is read or refused without a crash, and what is read
// is written out again and read back to the same entries.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/ReplayTransport.h"
#include "device/Trace.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<qb::TraceEntry> entries;
    if (!qb::ParseTraceEntries(text, entries)) return 0;
    std::string again;
    for (const qb::TraceEntry& entry : entries)
        again += (entry.time ? qb::FormatTraceLine(*entry.time, entry.direction, entry.report)
                             : qb::FormatReport(entry.report)) +
                 "\n";
    std::vector<qb::TraceEntry> reread;
    FUZZ_CHECK(qb::ParseTraceEntries(again, reread));
    FUZZ_CHECK(reread.size() == entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(reread[i].report == entries[i].report);
        FUZZ_CHECK(reread[i].time.has_value() == entries[i].time.has_value());
        // A plain line has no direction of its own: it is a report to the device.
        if (entries[i].time) FUZZ_CHECK(reread[i].direction == entries[i].direction);
    }
    // The replaying device takes any trace read without a crash: its search and an open.
    qb::ReplayTransport replay(entries);
    for (const qb::HidInterfaceInfo& info : replay.enumerate()) (void)replay.open(info.path);
    return 0;
}
