// A stand-in for the keypad encoder behind the same transport interface as the real one: it enumerates like it,
// answers through DeviceModel, and has fault knobs to delay, drop, duplicate and inject answers, refuse opens
// and unplug the device. Like the real one it is held by one session at a time: while a handle is open (and
// not dead), every other open is refused as in use; the handle's duplicates share its hold.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceIds.h"
#include "device/HidReport.h"
#include "device/Transport.h"
#include "protocol/Reports.h"
#include "simulator/SerialLine.h"
#include "simulator/SimulatorState.h"

namespace qb {

struct SimulatedDeviceCounters {
    std::size_t writes = 0;            // write() calls, including those on dead handles
    std::size_t failedWrites = 0;      // writes on a handle that was unplugged
    std::size_t reportsReceived = 0;   // reports taken in (and logged)
    std::size_t answersQueued = 0;     // answers made readable, strays and duplicates included
    std::size_t answersDropped = 0;    // answers swallowed by dropNextAnswers()
    std::size_t answersDelivered = 0;  // answers handed out by read()
    std::size_t opens = 0;             // successful opens, duplicated handles included
    std::size_t refusedOpens = 0;
    std::size_t probes = 0;       // looks at the device (Transport::probe)
    std::size_t openHandles = 0;  // handles alive now
    std::size_t closedHandles = 0;
};

class SimulatedDevice : public Transport {
public:
    using Block = BlockImage;

    explicit SimulatedDevice(std::string path = "sim:quillanterbrooke");
    ~SimulatedDevice() override;
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    // Transport: the device alone, while it is plugged in. Hardware ids: HID\VID_04D8&PID_FD37&REV_<release>,
    // then HID\VID_04D8&PID_FD37.
    std::vector<HidInterfaceInfo> enumerate() override;
    OpenResult open(const std::string& path) override;
    OpenCheck probe(const std::string& path) override;
    // Opens, or looks at, whatever the path (for a SimulatedBus).
    OpenResult openHandle();
    OpenCheck probeHandle();

    const std::string& path() const { return path_; }
    HidInterfaceInfo interfaceInfo() const;

    // What the device is.
    // kApplicationRelease, kProgramModeRelease or any other; seen by the next search. Open handles keep working:
    // unplug and replug around it to model the device re-enumerating in its other mode.
    void setRelease(std::uint16_t release);
    void setIdentity(std::array<std::uint8_t, 3> bytes);  // identity reply bytes 2, 3, 4; 0, 1, 3 by default
    void setSerial(std::int32_t serial);                  // identity reply bytes 6..9, little-endian
    void setVersion(std::string version);                 // identity reply bytes 10..; cut at 55 bytes
    void setSerialString(std::string serial);             // the USB serial number string; empty for none
    // Key reply byte 2: 0 none, 1..16 (stored as a byte). A key going down sends its message out of the
    // serial line, if one is attached.
    void setKeyDown(int keyNumber);
    void setBlock(std::size_t blockNumber, const Block& bytes);
    // From now on the device stores a wrong value at byte `offset` of block `blockNumber` when it is written.
    void setStoreFault(std::size_t blockNumber, std::size_t offset);
    void clearStoreFault();
    // Firmware that serves only the settings block: a read of any block gives block 0.
    void setServesMessageBlocks(bool serves);

    // Between runs. Loads what `path` keeps (no file: the device stays as new) and from now on saves the blocks
    // there after every completed write (its closing report). A file that cannot be read or is damaged, and a
    // save that fails, go to `warn` (on the thread that wrote) and change nothing else.
    void keepStateIn(std::filesystem::path path, std::function<void(const std::string&)> warn);
    // Keys pressed on their own, timed from now (on the manual clock once that is used). While a script is set it
    // decides the key held, and setKeyDown() is overridden at every key poll.
    void setKeyScript(std::vector<ScriptedPress> script);

    // Time. The answer delays run on the steady clock, or, once useManualClock() was called, on a clock that
    // moves only when advanceClock() moves it: tests then decide when an answer becomes readable.
    void useManualClock();
    void advanceClock(std::chrono::nanoseconds by);

    // Faults.
    // Answers become readable this long after the report that asked for them.
    void setAnswerDelay(std::chrono::nanoseconds delay);
    void dropNextAnswers(int count);
    void duplicateNextAnswer();
    // A report the device sends unasked, readable at once. Byte 0 (the report id) is not sent.
    void injectAnswer(const HidReport& report);
    void setRefuseOpens(bool refuse, OpenFailure why = OpenFailure::Other);
    // The program an open refused as in use is told holds the device; empty (the default): one nobody can name.
    void setHolderName(std::string name);
    // Gone from enumerate(); every existing handle fails from now on (reads -1, writes false).
    void unplug();
    // Back: new opens work; handles from before the unplug stay dead.
    void replug();
    bool pluggedIn() const;
    // Runs after every unplug, replug and release change, on the thread that made it; empty for none.
    void setPlugListener(std::function<void()> listener);

    // The serial port. `line` must outlive the device or be detached (nullptr) first.
    void setSerialLine(SerialLine* line);
    // What a key sends, as last written: block n holds the translated message of slot n - 1, up to its
    // first zero byte and at most 63 bytes.
    std::string keyMessage(int keyNumber) const;
    // The format written into block 0.
    SerialFormat serialFormat() const;

    // Inspection.
    std::vector<HidReport> receivedReports() const;  // every report written, all 65 bytes, in order
    std::size_t receivedCount() const;
    void clearReceived();
    // Answers whose time has come and that no handle has read yet (handles only written to do not count).
    std::size_t readyAnswers() const;
    Block block(std::size_t blockNumber) const;
    SimulatedDeviceCounters counters() const;
    // The received log as text, one report a line.
    std::string receivedTrace() const;

    struct Core;  // shared with the handles, which may outlive the device object

private:
    void plugChanged();

    std::string path_;
    std::shared_ptr<Core> core_;
    std::function<void()> plugListener_;
    SerialLine* serialLine_ = nullptr;
};

// Several interfaces on one bus, for the search: each entry has its own hardware ids and path, and a device
// to open or none (an interface that refuses every open). Used on one thread only.
class SimulatedBus : public Transport {
public:
    struct Entry {
        std::vector<std::string> hardwareIds;  // empty: the device's own
        std::string path;
        SimulatedDevice* device = nullptr;
    };

    void add(Entry entry) { entries_.push_back(std::move(entry)); }
    // Entries whose device is unplugged are left out.
    std::vector<HidInterfaceInfo> enumerate() override;
    OpenResult open(const std::string& path) override;
    OpenCheck probe(const std::string& path) override;
    int enumerateCount() const { return enumerateCount_; }
    int openCount(const std::string& path) const;

private:
    std::vector<Entry> entries_;
    std::vector<std::string> openedPaths_;
    int enumerateCount_ = 0;
};

}  // namespace qb
