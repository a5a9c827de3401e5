#include "protocol/Operations.h"

#include <algorithm>
#include <string>

#include "config/Codepage.h"
#include "config/ConfigTransfer.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "device/DeviceLink.h"
#include "protocol/OperationsUi.h"
#include "protocol/Reports.h"

namespace qb {

namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

bool IsWriteOrReadStep(int step) {
    return (step >= osWriteIdentity && step <= osMessageFirstAck) ||
           (step >= osReadIdentity && step <= osReadSecondHalf);
}

}  // namespace

bool ConnectDevice(DeviceLink& link, MessageSink& sink) {
    switch (link.ConnectDevice().outcome) {
        case SearchOutcome::Connected:
            return true;
        case SearchOutcome::ProgramMode:
            sink.showError(kProgramModeText);
            return false;
        case SearchOutcome::NoAccess:
        case SearchOutcome::NotFound:
            sink.showError(kCannotFindText);
            return false;
    }
    return false;
}

DeviceOperations::DeviceOperations(ConfigStore& store, ConfigView& view, DeviceLink& link, OperationsUi& ui)
    : store_(store), view_(view), link_(link), ui_(ui) {
    link_.setReportHandler([this] { ReportReceived(); });
}

bool DeviceOperations::answerAwaited() const {
    if (OperationStep == osIdle) return false;
    // Key polls run without the reply countdown: a poll counts as awaited for one reply allowance after it
    // was sent.
    if (OperationStep == osKeyReply) return pollAwaitTicks_ > 0;
    return ReplyTicks > 0;
}

bool DeviceOperations::needsTicks() const {
    return ReplyTicks != 0 || KeyPollTicks != 0 || pollAwaitTicks_ != 0 || testRunning_ ||
           pendingStart_ != PendingStart::None;
}

bool DeviceOperations::busy() const { return IsWriteOrReadStep(OperationStep) && answerAwaited(); }

void DeviceOperations::updateBusy() {
    const bool now = busy();
    if (now != busyShown_) {
        busyShown_ = now;
        ui_.setBusy(now);
    }
}

// A write or read that waits for an answer is never cut off. A keypad test gives way to a new operation: it
// is stopped first, and if one of its answers is still on its way the new operation starts once that answer
// has arrived or its allowance has run out, so the answer is not taken for the new operation's.
bool DeviceOperations::mayStart(PendingStart kind) {
    if (busy()) return false;
    if (testRunning()) StopTest();
    if (answerAwaited()) {
        pendingStart_ = kind;
        return false;
    }
    pendingStart_ = PendingStart::None;
    return true;
}

void DeviceOperations::runPendingStart() {
    const PendingStart kind = pendingStart_;
    pendingStart_ = PendingStart::None;
    switch (kind) {
        case PendingStart::Write: WriteButtonClick(); break;
        case PendingStart::Read: ReadButtonClick(); break;
        case PendingStart::Test: TestkeypadButtonClick(); break;
        case PendingStart::None: break;
    }
}

void DeviceOperations::openOperation(int identityStep) {
    link_.SendReport(kCmdIdentify);
    ReplyTicks = kReplyTimeoutTicks;
    OperationStep = identityStep;
    updateBusy();
}

void DeviceOperations::WriteButtonClick() {
    if (!mayStart(PendingStart::Write)) return;
    PackConfig(view_, store_.Config);
    if (!store_.TranslateMessages(ui_)) return;
    if (!ConnectDevice(link_, ui_)) return;
    openOperation(osWriteIdentity);
}

void DeviceOperations::ReadButtonClick() {
    if (!mayStart(PendingStart::Read)) return;
    if (!ConnectDevice(link_, ui_)) return;
    openOperation(osReadIdentity);
}

void DeviceOperations::TestkeypadButtonClick() {
    if (testRunning()) {
        StopTest();
        return;
    }
    if (!mayStart(PendingStart::Test)) return;
    PackConfig(view_, store_.Config);
    if (!store_.TranslateMessages(ui_)) return;
    if (!ConnectDevice(link_, ui_)) return;
    setTestRunning(true);
    openOperation(osTestIdentity);
}

void DeviceOperations::StopTest() {
    setTestRunning(false);
    KeyPollTicks = 0;
}

void DeviceOperations::setTestRunning(bool running) {
    testRunning_ = running;
    ui_.setTestButtonCaption(running ? kStopTestCaption : kTestKeypadCaption);
}

void DeviceOperations::SendKeyPoll() {
    link_.SendReport(kCmdKeyPoll);
    OperationStep = osKeyReply;
    KeyPollTicks = kKeyPollRepeatTicks;
    pollAwaitTicks_ = kReplyTimeoutTicks;
}

void DeviceOperations::ShowKey(std::uint8_t keyNumber) {
    const KeyInfo* key = KeyByNumber(keyNumber);
    ui_.showKey(key ? key->legendIndex : -1);
}

bool DeviceOperations::IdentifyStep() {
    const IdentityReply reply = DecodeIdentityReply(link_.InReport);
    if (!reply.accepted) {
        ReplyTicks = 0;
        ui_.showError(kNotQuillanterbrookeText);
        OperationStep = osIdle;
        return false;
    }
    ui_.clearLog();
    ui_.addLogLine(u"Appware Version:" + FromAnsi(reply.version));
    ui_.addLogLine(u"Serial Number: " + Ascii(FormatSerial(reply.serial)));
    ui_.deviceIdentified(reply);
    return true;
}

void DeviceOperations::ReportReceived() {
    HidReport& out = link_.OutReport;
    switch (OperationStep) {
        case osIdle:
            break;

        case osWriteIdentity:
            if (!IdentifyStep()) break;
            ReplyTicks = kReplyTimeoutTicks;
            BlockNumber = 0;
            MessageIndex = 0;
            link_.SendReport(kCmdWriteStart);
            OperationStep = osWriteStartAck;
            break;
        case osWriteStartAck:
            ReplyTicks = kReplyTimeoutTicks;
            BuildSettingsFirstHalf(out, store_.Config.Settings);
            link_.SendReport(kCmdFirstHalf);
            OperationStep = osSettingsFirstAck;
            break;
        case osSettingsFirstAck:
            // The two halves of a block share one reply allowance.
            BuildSettingsSecondHalf(out);
            link_.SendReport(kCmdSecondHalf);
            BlockNumber = 1;
            MessageIndex = 0;
            OperationStep = osSecondHalfAck;
            break;
        case osSecondHalfAck:
            ReplyTicks = kReplyTimeoutTicks;
            BuildMessageFirstHalf(out, BlockNumber, store_.DeviceMessages, MessageIndex);
            link_.SendReport(kCmdFirstHalf);
            OperationStep = osMessageFirstAck;
            break;
        case osMessageFirstAck:
            BuildMessageSecondHalf(out, BlockNumber, store_.DeviceMessages, MessageIndex);
            link_.SendReport(kCmdSecondHalf);
            ++BlockNumber;
            ++MessageIndex;
            OperationStep = MessageIndex >= static_cast<int>(kSlotCount) ? osLastSecondHalfAck : osSecondHalfAck;
            break;
        case osLastSecondHalfAck:
            ReplyTicks = kReplyTimeoutTicks;
            link_.SendReport(kCmdWriteEnd);
            OperationStep = osWriteEndAck;
            break;
        case osWriteEndAck:
            Complete(kDownloadCompleteText);
            break;

        case osReadIdentity:
            if (!IdentifyStep()) break;
            ReplyTicks = kReplyTimeoutTicks;
            BlockNumber = 0;
            BuildBlockRead(out, BlockNumber);
            link_.SendReport(kCmdReadFirstHalf);
            OperationStep = osReadFirstHalf;
            break;
        case osReadFirstHalf:
            CopyBlockReplyHalf(link_.InReport, ReadBackImage.data());
            ReplyTicks = kReplyTimeoutTicks;
            BuildBlockRead(out, BlockNumber);
            link_.SendReport(kCmdReadSecondHalf);
            OperationStep = osReadSecondHalf;
            break;
        case osReadSecondHalf:
            CopyBlockReplyHalf(link_.InReport, ReadBackImage.data() + kBlockHalfSize);
            UnpackSettingsBlock(ReadBackImage, 0, store_.Config.Settings);
            Complete(kReadCompleteText);
            break;

        case osTestIdentity:
            if (!testRunning()) {
                // The test was stopped while its identity request was out: the answer ends it quietly.
                finishStoppedTest();
                break;
            }
            if (!IdentifyStep()) break;
            ReplyTicks = kReplyTimeoutTicks;
            SendKeyPoll();
            break;
        case osKeyReply:
            if (!testRunning()) {
                // A key reply after the stop neither lights a key nor restarts the polling.
                finishStoppedTest();
                break;
            }
            ReplyTicks = 0;
            pollAwaitTicks_ = 0;
            OperationStep = osIdle;
            ShowKey(link_.InReport[kKeyNumberByte]);
            KeyPollTicks = kKeyPollAfterReplyTicks;
            break;

        default:
            break;
    }
    updateBusy();
    if (pendingStart_ != PendingStart::None && !answerAwaited()) runPendingStart();
}

// The last answer of a write or read: the box is shown from inside the handler, and the operation counts as
// under way until it has been closed.
void DeviceOperations::Complete(const char16_t* text) {
    ReplyTicks = 0;
    updateBusy();
    ui_.showInformation(text);
    OperationStep = osIdle;
}

void DeviceOperations::finishStoppedTest() {
    ReplyTicks = 0;
    pollAwaitTicks_ = 0;
    OperationStep = osIdle;
}

void DeviceOperations::Timer1Timer() {
    if (ReplyTicks != 0) {
        --ReplyTicks;
        if (ReplyTicks == 0) {
            updateBusy();
            ui_.showError(kCannotCommunicateText);
        }
    }
    if (pollAwaitTicks_ != 0) --pollAwaitTicks_;
    if (KeyPollTicks != 0) {
        --KeyPollTicks;
        if (KeyPollTicks == 0) SendKeyPoll();
    }
    updateBusy();
    if (pendingStart_ != PendingStart::None && !answerAwaited()) runPendingStart();
}

}  // namespace qb
