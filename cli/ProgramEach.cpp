#include "cli/ProgramEach.h"

#include <chrono>
#include <list>
#include <optional>
#include <ostream>

#include "protocol/DeviceBackup.h"
#include "config/Text.h"
#include "device/DeviceLink.h"
#include "device/PlatformBusWatcher.h"
#include "device/PlugWatcher.h"
#include "device/QueueDispatcher.h"
#include "protocol/OperationsUi.h"
#include "workshop/WorkshopLog.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTick{50};
constexpr std::chrono::milliseconds kWorkshopSettleTime{10};

// One device's session: its own connection and operations, on the loop's thread; optionally a backup read first.
class DeviceSession : public OperationsUi {
public:
    DeviceSession(const Plug& plug, Transport& transport, Dispatcher& dispatcher, const ProgramEachSettings& settings)
        : plug_(plug), settings_(settings), link_(transport, dispatcher), ops_(link_, *this) {
        link_.setSelector(DeviceSelector{plug.info.path});
        if (settings.backup) {
            backingUp_ = true;
            ops_.options = {true, false};
            ops_.Read();
        } else {
            startWrite();
        }
    }
    ~DeviceSession() override { link_.Stop(); }

    void tick() { ops_.Timer1Timer(); }
    // The session has ended: its outcome, once.
    const std::optional<Outcome>& ended() const { return ended_; }
    const Plug& plug() const { return plug_; }
    std::chrono::milliseconds took() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
    }
    // Cut short by a second signal: the device may hold part of the new configuration.
    void cutShort() {
        if (ended_) return;
        link_.Stop();
        Outcome outcome;
        outcome.kind = OutcomeKind::Stopped;
        outcome.text = u"Cut short by a second signal: the device may hold part of the new configuration.";
        ended_ = outcome;
    }

private:
    void startWrite() {
        ops_.options = settings_.options;
        ops_.Write(settings_.config);
    }

    // OperationsUi: what the device said comes from the outcome alone.
    void showError(const std::u16string&) override {}
    void showInformation(const std::u16string&) override {}
    void clearLog() override {}
    void addLogLine(const std::u16string&) override {}
    void showKey(int) override {}
    void setTestButtonCaption(const std::u16string&) override {}
    void setBusy(bool) override {}
    void finished(const Outcome& outcome) override {
        if (ended_) return;
        if (backingUp_) {
            backingUp_ = false;
            const DeviceBackup backup = SaveDeviceBackup(outcome);
            if (backup.error.empty()) return startWrite();
            Outcome refused = outcome;
            if (refused.ok()) refused.kind = OutcomeKind::Stopped;
            refused.text = FromUtf8("No backup could be made: " + backup.error + "; nothing was written");
            ended_ = refused;
            return;
        }
        ended_ = outcome;
    }

    Plug plug_;
    const ProgramEachSettings& settings_;
    DeviceLink link_;
    DeviceOperations ops_;
    bool backingUp_ = false;
    std::optional<Outcome> ended_;
    Clock::time_point started_ = Clock::now();
};

std::string ScreenLine(const WorkshopEntry& entry, bool json) {
    if (json) return FormatLogLine(entry, LogFormat::JsonLines);
    std::string detail = entry.detail;
    for (char& c : detail)
        if (c == '\n') c = ';';
    return FormatLogLine(entry, LogFormat::Csv).substr(0, 24) + "  " + entry.path + "  serial " +
           (entry.serial.empty() ? "-" : entry.serial) + "  version " + (entry.version.empty() ? "-" : entry.version) +
           "  " + (entry.result == "ok" ? "PASS" : "FAIL " + entry.result) + (detail.empty() ? "" : "  " + detail) +
           "  (" + std::to_string(entry.durationMs) + " ms)";
}

}  // namespace

int ProgramEach(const ProgramEachSettings& settings, const ProgramEachEnvironment& env) {
    std::unique_ptr<WorkshopLog> log;
    if (!settings.log.empty()) {
        std::string error;
        log = WorkshopLog::Open(settings.log, settings.json ? LogFormat::JsonLines : LogFormat::Csv, error);
        if (!log) {
            env.err << error << '\n';
            return 1;
        }
    }
    QueueDispatcher dispatcher;
    std::list<DeviceSession> sessions;
    const auto signals = [&] { return env.signals ? env.signals->load() : 0; };
    // A plug's events settle quickly here: the workshop waits for every device as short a time as it can.
    std::unique_ptr<PlatformBusWatcher> watcher =
        env.makeBusWatcher ? env.makeBusWatcher(dispatcher) : MakePlatformBusWatcher(dispatcher, kWorkshopSettleTime);
    PlugWatcher plugs(env.transport, std::move(watcher));
    bool logFailed = false, cut = false;
    const auto stopping = [&] { return signals() > 0 || logFailed; };
    plugs.start([&](const std::vector<Plug>&, const std::vector<Plug>& added) {
        if (stopping()) return;  // ending: no new device is taken
        for (const Plug& plug : added)
            if (DeviceSelector{settings.device}.matches(plug.info))
                sessions.emplace_back(plug, env.transport, dispatcher, settings);
    });
    env.out << "Waiting for devices; Ctrl-C ends (devices being written are finished first).\n" << std::flush;

    int passed = 0, failed = 0;
    Clock::time_point nextTick = Clock::now() + kTick;
    for (;;) {
        if (signals() >= 2 && !cut) {
            cut = true;
            for (DeviceSession& session : sessions) session.cutShort();
        }
        if (stopping() && sessions.empty()) break;
        dispatcher.runOne(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(Clock::duration::zero(), nextTick - Clock::now())));
        if (Clock::now() >= nextTick) {
            for (DeviceSession& session : sessions) session.tick();
            nextTick = Clock::now() + kTick;
        }
        // Ended sessions are closed here, outside their own connection's hand-off.
        for (auto it = sessions.begin(); it != sessions.end();) {
            if (!it->ended()) {
                ++it;
                continue;
            }
            const Outcome& outcome = *it->ended();
            const WorkshopEntry entry = EntryFor(outcome, it->plug().info.path, it->took());
            outcome.ok() ? ++passed : ++failed;
            env.out << ScreenLine(entry, settings.json) << '\n' << std::flush;
            if (log && !logFailed && !log->write(entry)) {
                // A workshop's record of what it programmed is part of the job: it is not lost silently. The
                // devices being written are finished; no new one is taken.
                env.err << log->error() << '\n';
                logFailed = true;
            }
            it = sessions.erase(it);
        }
    }
    sessions.clear();
    if (cut) env.err << "Cut short: the devices being written may hold part of the new configuration.\n";
    env.out << passed << " passed, " << failed << " failed\n";
    return failed == 0 && !logFailed && !cut ? 0 : 1;
}

}  // namespace qb
