// The device operations: write, read and keypad test, carried forward one step per input report.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/DeviceImage.h"
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
    // Our own additions: the message blocks 1..16 of a full read, and the read-back that verifies a write.
    osReadBlockFirstHalf = 13,
    osReadBlockSecondHalf = 14,
    osVerifyFirstHalf = 15,
    osVerifySecondHalf = 16,
};

inline constexpr int kReplyTimeoutTicks = 20;  // 1 s at 50 ms a tick
inline constexpr int kKeyPollAfterReplyTicks = 5;
inline constexpr int kKeyPollRepeatTicks = 50;

inline constexpr char16_t kProgramModeText[] = u"VELMORA is in Program Mode";
inline constexpr char16_t kCannotFindText[] = u"Cannot find VELMORA";
inline constexpr char16_t kInUseText[] = u"VELMORA is in use by another program";
inline constexpr char16_t kNotQuillanterbrookeText[] = u"Application is not a VELMORA Quillanterbrooke";
inline constexpr char16_t kCannotCommunicateText[] = u"Cannot communicate with VELMORA";
inline constexpr char16_t kDisconnectedText[] = u"Cannot communicate with VELMORA\r\nThe device was disconnected.";
inline constexpr char16_t kDownloadCompleteText[] = u"Download Complete";
inline constexpr char16_t kReadCompleteText[] = u"Read Complete";
inline constexpr char16_t kDownloadVerifiedText[] = u"Download verified";
inline constexpr char16_t kNotVerifiedText[] = u"Download not verified: the device holds something else";

// The udev rule a Linux user installs so that the device may be opened without root.
inline constexpr char kUdevRuleName[] = "70-quillanterbrooke.rules";

// The search every operation runs before its first report, worded for the user: "VELMORA is in Program Mode"
// (the firmware loader is not talked to: its connection is closed again) or "Cannot find VELMORA" (with what was
// found and how to let this user open it, when the device is there but may not be opened) shown through `sink` and
// false; true when the device is open.
bool ConnectDevice(DeviceLink& link, MessageSink& sink);

// What an operation does beyond its documented course.
struct OperationOptions {
    bool readMessages = false;  // a read also fetches message blocks 1..16 (firmware that serves them)
    bool verifyWrites = false;  // a write is read back and compared (block 0, and 1..16 with readMessages)
};

class DeviceOperations {
public:
    // Installs ReportReceived and ConnectionLost as `link`'s handlers.
    DeviceOperations(ConfigStore& store, ConfigView& view, DeviceLink& link, OperationsUi& ui);

    void WriteButtonClick();
    void ReadButtonClick();
    void TestkeypadButtonClick();
    // Every 50 ms: the reply countdown and the key-poll pacing.
    void Timer1Timer();
    // One input report (in the link's InReport) has arrived.
    void ReportReceived();
    // The open connection's device has gone: an operation under way ends at once.
    void ConnectionLost();

    // True while a write or read waits for an answer within its allowance.
    bool busy() const;
    bool testRunning() const { return testRunning_; }
    // True while Timer1Timer has anything to count or pace; while false the 50 ms timer may stand still.
    bool needsTicks() const;
    // Key polls sent since the test started whose answer never came within a reply allowance.
    int unansweredPolls() const { return unansweredPolls_; }

    OperationOptions options;

    int OperationStep = osIdle;
    int ReplyTicks = 0;
    int KeyPollTicks = 0;
    std::uint8_t BlockNumber = 0;
    int MessageIndex = 0;
    BlockImage ReadBackImage{};
    // Every block the last read or verification brought back.
    DeviceImage Device;

private:
    enum class PendingStart { None, Write, Read, Test };

    bool IdentifyStep();
    void SendKeyPoll();
    void ShowKey(std::uint8_t keyNumber);
    void StopTest();
    void setTestRunning(bool running);
    void Complete(const char16_t* text);
    void finishStoppedTest();
    bool connect();
    void openOperation(int identityStep);
    void requestBlockHalf(std::uint8_t command, int step);
    void storeBlockHalf(bool second);
    void finishRead();
    void finishVerify();
    bool answerAwaited() const;
    bool lateAnswerOwed() const;
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
    int unansweredPolls_ = 0;
    // After a time-out the answer may still come: for one more allowance a new operation waits for it, so that it
    // is never taken for the new operation's first answer.
    int lateTicks_ = 0;
    bool reopenBeforeStart_ = false;
    DeviceImage written_;  // what the last write sent, for its verification
};

}  // namespace qb
