// A device that answers from a recorded trace (device/Trace.h): each report written takes the place of the next
// report the trace sent to the device, and the answers recorded after that one become readable at once. With it
// a trace from a user's machine plays back against the program, without the device.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "device/Trace.h"
#include "device/Transport.h"

namespace qb {

class ReplayTransport : public Transport {
public:
    // One interface, an application-mode device at `path`, whose handles share one place in `entries`.
    explicit ReplayTransport(std::vector<TraceEntry> entries, std::string path = "replay:quillanterbrooke");
    ~ReplayTransport() override;
    ReplayTransport(const ReplayTransport&) = delete;
    ReplayTransport& operator=(const ReplayTransport&) = delete;

    std::vector<HidInterfaceInfo> enumerate() override;
    OpenResult open(const std::string& path) override;

    // Reports written that were not the ones recorded (they are answered all the same), and reports written after
    // the trace's end (left unanswered).
    std::size_t mismatches() const;
    // True once every report the trace sent to the device has been written again.
    bool finished() const;

    struct State;

private:
    std::string path_;
    std::shared_ptr<State> state_;
};

}  // namespace qb
