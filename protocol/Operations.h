// The device operations: write, read and keypad test, carried forward one step per input report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/Reports.h"

namespace qb {

class ConfigStore;
class ConfigView;
class DeviceLink;
class MessageSink;
class OperationsUi;

enum OperationStepValue : int {
    osIdle = 0,
    osWriteIdentity = 1,
    osWriteStartAck = 2,
    osSettingsFirstAck = 3,
    osLastSecondHalfAck = 4,
    osWriteEndAck = 5,
    osSecondHalfAck = 6,
    osMessageFirstAck = 7,
    osTestIdentity = 8,
    osKeyReply = 9,
    osReadIdentity = 10,
    osReadFirstHalf = 11,
    osReadSecondHalf = 12,
};

inline constexpr int kReplyTimeoutTicks = 20;  // 1 s at 50 ms a tick
inline constexpr int kKeyPollAfterReplyTicks = 5;
inline constexpr int kKeyPollRepeatTicks = 50;

inline constexpr char16_t kProgramModeText[] = u"VELMORA is in Program Mode";
inline constexpr char16_t kCannotFindText[] = u"Cannot find VELMORA";
inline constexpr char16_t kNotQuillanterbrookeText[] = u"Application is not a VELMORA Quillanterbrooke";
inline constexpr char16_t kCannotCommunicateText[] = u"Cannot communicate with VELMORA";
inline constexpr char16_t kDownloadCompleteText[] = u"Download Complete";
inline constexpr char16_t kReadCompleteText[] = u"Read Complete";

// The search every operation runs before its first report, worded for the user: "VELMORA is in Program Mode"
// or "Cannot find VELMORA" shown through `sink` and false, or true when the device is open.
bool ConnectDevice(DeviceLink& link, MessageSink& sink);

class DeviceOperations {
public:
    // Installs ReportReceived as `link`'s report handler.
    DeviceOperations(ConfigStore& store, ConfigView& view, DeviceLink& link, OperationsUi& ui);

    void WriteButtonClick();
    void ReadButtonClick();
    void TestkeypadButtonClick();
    // Every 50 ms: the reply countdown and the key-poll pacing.
    void Timer1Timer();
    // One input report (in the link's InReport) has arrived.
    void ReportReceived();

    // True while a write or read waits for an answer within its allowance.
    bool busy() const;
    bool testRunning() const { return testRunning_; }
    // True while Timer1Timer has anything to count or pace; while false the 50 ms timer may stand still.
    bool needsTicks() const;

    int OperationStep = osIdle;
    int ReplyTicks = 0;
    int KeyPollTicks = 0;
    std::uint8_t BlockNumber = 0;
    int MessageIndex = 0;
    BlockImage ReadBackImage{};

private:
    enum class PendingStart { None, Write, Read, Test };

    bool IdentifyStep();
    void SendKeyPoll();
    void ShowKey(std::uint8_t keyNumber);
    void StopTest();
    void setTestRunning(bool running);
    void Complete(const char16_t* text);
    void finishStoppedTest();
    void openOperation(int identityStep);
    bool answerAwaited() const;
    bool mayStart(PendingStart kind);
    void runPendingStart();
    void updateBusy();

    ConfigStore& store_;
    ConfigView& view_;
    DeviceLink& link_;
    OperationsUi& ui_;
    bool busyShown_ = false;
    bool testRunning_ = false;  // the button's caption follows it
    PendingStart pendingStart_ = PendingStart::None;
    int pollAwaitTicks_ = 0;  // a key poll's answer counts as on its way for this many more ticks
};

}  // namespace qb
