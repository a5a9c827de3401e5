// A transport decorator that records every report both ways, with a monotonic time stamp and its direction, as
// trace lines (device/Trace.h): `--trace FILE` of both programs, for a bug report anyone can send.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "device/Trace.h"
#include "device/Transport.h"

namespace qb {

class TracingTransport : public Transport {
public:
    using Clock = std::chrono::steady_clock;
    // Takes one line (with its line break); false if it could not be kept.
    using LineWriter = std::function<bool(std::string_view line)>;

    // Passes everything to `inner`; each report written or read through its handles goes to `writeLine`, one
    // line at a time whichever thread it comes from. The trace's time starts now.
    TracingTransport(std::unique_ptr<Transport> inner, LineWriter writeLine);
    // The same with the lines going to a file, created or emptied, but never one that holds something else than a
    // trace; a FIFO is written to only while it has a reader, and never blocks the program for long. Null with
    // `error` set when it cannot be opened.
    static std::unique_ptr<TracingTransport> ToFile(std::unique_ptr<Transport> inner, const std::string& path,
                                                    std::string& error);

    std::vector<HidInterfaceInfo> enumerate() override { return inner_->enumerate(); }
    OpenResult open(const std::string& path) override;
    OpenCheck probe(const std::string& path) override { return inner_->probe(path); }

    // False once a line could not be written (a full disk, a reader gone).
    bool ok() const { return ok_.load(); }
    // Runs once, on the thread whose line failed, when the trace fails.
    void setFailureHandler(std::function<void()> handler) { onFailure_ = std::move(handler); }

    // For the handles.
    void record(TraceDirection direction, const HidReport& report);

private:
    std::unique_ptr<Transport> inner_;
    LineWriter writeLine_;
    const Clock::time_point start_;
    std::mutex mutex_;  // one line at a time
    std::atomic<bool> ok_{true};
    std::function<void()> onFailure_;
};

}  // namespace qb
