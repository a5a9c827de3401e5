// The device operations: write, read and keypad test, carried forward one step per input report. Each is started
// with what it needs (a write with the configuration to write) and ends in one Outcome for whoever started it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/DeviceImage.h"
#include "protocol/Outcome.h"
#include "protocol/Reports.h"

namespace qb {

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

// Reports of each conversation: identify, "E", two halves of 17 blocks, "Z"; identify and block 0's two halves.
inline constexpr int kWriteReports = 3 + 2 * static_cast<int>(kBlockCount);
inline constexpr int kReadReports = 3;

inline constexpr char16_t kProgramModeText[] = u"VELMORA is in Program Mode";
inline constexpr char16_t kCannotFindText[] = u"Cannot find VELMORA";
inline constexpr char16_t kInUseText[] = u"VELMORA is in use by another program";
inline constexpr char16_t kNotQuillanterbrookeText[] = u"Application is not a VELMORA Quillanterbrooke";
inline constexpr char16_t kCannotCommunicateText[] = u"Cannot communicate with VELMORA";
inline constexpr char16_t kDisconnectedText[] = u"Cannot communicate with VELMORA\r\nThe device was disconnected.";
inline constexpr char16_t kDownloadCompleteText[] = u"Download Complete";
inline constexpr char16_t kReadCompleteText[] = u"Read Complete";
// With verification on, a write ends in one box that says both.
inline constexpr char16_t kDownloadVerifiedText[] = u"Download Complete\r\nDownload verified";
inline constexpr char16_t kNotVerifiedText[] = u"Download not verified: the device holds something else";
inline constexpr char16_t kNoBaudRateText[] =
    u"No baud rate is selected.\r\nChoose the serial port's baud rate before writing: nothing was sent.";

// The search every operation runs before its first report. Connected, or the outcome that ends the operation
// (ProgramMode: the firmware loader is not talked to, its connection is closed again), with its text shown
// through `sink`.
std::optional<OutcomeKind> ConnectDevice(DeviceLink& link, MessageSink& sink, std::u16string* shown = nullptr,
                                         std::u16string* holder = nullptr);

// What an operation does beyond its documented course.
struct OperationOptions {
    bool readMessages = false;  // a read also fetches message blocks 1..16 (firmware that serves them)
    bool verifyWrites = false;  // a write is read back and compared (block 0, and 1..16 with readMessages)
};

class DeviceOperations {
public:
    // Installs ReportReceived and ConnectionLost as `link`'s handlers.
    DeviceOperations(DeviceLink& link, OperationsUi& ui);

    // Each start either starts its operation (perhaps once an answer still owed has come: never in between) or
    // changes nothing and returns false: while a write or read waits for an answer, nothing else starts. A
    // running keypad test gives way to a write or a read.
    //
    // Writes `config`: its typed messages are translated first, and an invalid one ends the write in
    // MessageRefused ("Error on Message:") before anything is sent; so does a baud code beyond the list. The
    // write sends exactly this configuration, whatever happens to the caller's copy meanwhile.
    bool Write(const KeypadConfig& config);
    bool Read();
    // The keypad test checks the messages as a write does before it starts.
    bool StartKeypadTest(const KeypadConfig& config);
    // The user's stop: the test ends with a Done outcome; one that waits to start ends before it starts.
    void StopKeypadTest();

    // Every 50 ms: the reply countdown and the key-poll pacing.
    void Timer1Timer();
    // One input report (in the link's InReport) has arrived.
    void ReportReceived();
    // The open connection's device has gone: an operation under way ends at once.
    void ConnectionLost();

    // True while a write or read waits for an answer within its allowance.
    bool busy() const;
    bool testRunning() const { return testRunning_; }
    // A keypad test asked for waits for an answer still owed before it starts.
    bool testPending() const { return pending_ && pending_->kind == OperationKind::KeypadTest; }
    // True while Timer1Timer has anything to count or pace; while false the 50 ms timer may stand still.
    bool needsTicks() const;
    // Reports answered of reports planned, for the write or read under way.
    Progress progress() const { return progress_; }

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
    // An operation asked for: what it was started with, kept until it starts and for as long as it runs.
    struct Request {
        OperationKind kind = OperationKind::Read;
        KeypadConfig config{};
        MessageBlock messages{};   // translated
        OperationOptions options;  // as they were when it was asked for
    };

    bool request(Request request);
    bool prepare(Request& request, const KeypadConfig& config);
    void start(const Request& request);
    void runPendingStart();
    void giveUp(const Request& request, OutcomeKind kind);
    bool connect();
    void openOperation(int identityStep);
    void sendAwaited(std::uint8_t command, int step);
    bool answerBelongs() const;
    bool IdentifyStep();
    void WriteStep();
    void VerifyStep();
    void ReadStep();
    void TestStep();
    void SendKeyPoll();
    void ShowKey(std::uint8_t keyNumber);
    void setTestRunning(bool running);
    void requestBlockHalf(std::uint8_t command, int step);
    void storeBlockHalf(bool second);
    void finishWrite();
    void finishRead();
    void finishVerify();
    void finishStoppedTest();
    enum class Box { None, Error, Information };
    // Ends the operation under way: the step falls back to idle, the box (if any) is shown and the outcome given.
    void finish(OutcomeKind kind, const std::u16string& text, Box box);
    // Gives the outcome to whoever started the operation, once.
    void deliver();
    bool answerAwaited() const;
    bool lateAnswerOwed() const;
    void updateState();

    DeviceLink& link_;
    OperationsUi& ui_;
    Request running_;  // the operation under way, or the last one
    Outcome outcome_;  // what the operation under way has found so far
    std::optional<Request> pending_;
    Progress progress_;
    std::uint8_t lastCommand_ = 0;  // of the report whose answer is awaited
    bool busyShown_ = false;
    bool ticksShown_ = false;
    bool testRunning_ = false;  // the button's caption follows it
    bool outcomeGiven_ = true;
    int pollAwaitTicks_ = 0;  // a key poll's answer counts as on its way for this many more ticks
    // After a time-out the answer may still come: for one more allowance a new operation waits for it, so that it
    // is never taken for the new operation's first answer; and one that never came may yet arrive on the old
    // connection, so the next operation opens a new one.
    int lateTicks_ = 0;
    bool answerOwed_ = false;
    DeviceImage written_;  // what the write under way sent, for its verification
};

}  // namespace qb
