#include "protocol/Operations.h"

#include <algorithm>
#include <string>

#include "config/Codepage.h"
#include "config/ConfigTransfer.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "config/Text.h"
#include "device/DeviceLink.h"
#include "protocol/OperationsUi.h"

namespace qb {

namespace {

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

bool IsWriteOrReadStep(int step) {
    return step != osIdle && step != osTestIdentity && step != osKeyReply;
}

// "Cannot find VELMORA", then what was found and what lets this user open it.
std::u16string NoAccessText(const SearchResult& found) {
    std::u16string text = kCannotFindText;
    for (const HidInterfaceInfo& info : found.refused)
        text +=
            u"\r\nA VELMORA Quillanterbrooke is attached at " + Ascii(info.path) + u", but this user may not open it.";
#if defined(__linux__)
    const std::u16string rule = Ascii(kUdevRuleName);
    text += u"\r\nLet this user open it with the tool's udev rule (packaging/" + rule +
            u", installed by the Debian package), then replug the device:\r\nsudo cp " + rule +
            u" /etc/udev/rules.d/\r\nsudo udevadm control --reload && sudo udevadm trigger";
#else
    text += u"\r\nAnother program may be using it: close it and try again.";
#endif
    return text;
}

}  // namespace

bool ConnectDevice(DeviceLink& link, MessageSink& sink) {
    const SearchResult found = link.ConnectDevice();
    switch (found.outcome) {
        case SearchOutcome::Connected:
            return true;
        case SearchOutcome::ProgramMode:
            // The firmware loader does not speak the encoder's protocol: the next click searches again.
            link.Stop();
            sink.showError(kProgramModeText);
            return false;
        case SearchOutcome::NoAccess:
            sink.showError(NoAccessText(found));
            return false;
        case SearchOutcome::InUse:
            sink.showError(kInUseText + (found.holder.empty() ? u"" : u" (" + FromUtf8(found.holder) + u")"));
            return false;
        case SearchOutcome::NotFound:
            sink.showError(kCannotFindText);
            return false;
    }
    return false;
}

DeviceOperations::DeviceOperations(ConfigStore& store, ConfigView& view, DeviceLink& link, OperationsUi& ui)
    : store_(store), view_(view), link_(link), ui_(ui) {
    link_.setReportHandler([this] { ReportReceived(); });
    link_.setConnectionLostHandler([this] { ConnectionLost(); });
}

bool DeviceOperations::answerAwaited() const {
    if (OperationStep == osIdle) return false;
    // Key polls run without the reply countdown: a poll counts as awaited for one reply allowance after it
    // was sent.
    if (OperationStep == osKeyReply) return pollAwaitTicks_ > 0;
    return ReplyTicks > 0;
}

bool DeviceOperations::needsTicks() const {
    return ReplyTicks != 0 || KeyPollTicks != 0 || pollAwaitTicks_ != 0 || lateTicks_ != 0 || testRunning_ ||
           pendingStart_ != PendingStart::None;
}

bool DeviceOperations::lateAnswerOwed() const {
    return OperationStep != osIdle && lateTicks_ > 0;
}

bool DeviceOperations::busy() const {
    return IsWriteOrReadStep(OperationStep) && answerAwaited();
}

void DeviceOperations::updateBusy() {
    const bool now = busy();
    if (now != busyShown_) {
        busyShown_ = now;
        ui_.setBusy(now);
    }
}

// A write or read that waits for an answer is never cut off. A keypad test gives way to a new operation: it is
// stopped first. If an answer of the last operation is still on its way (a key poll's, or one that timed out a
// moment ago), the new operation starts once it has arrived (and is dropped) or its allowance has run out, so the
// answer is never taken for the new operation's first.
bool DeviceOperations::mayStart(PendingStart kind) {
    if (busy()) return false;
    if (testRunning()) StopTest();
    if (answerAwaited() || lateAnswerOwed()) {
        pendingStart_ = kind;
        return false;
    }
    pendingStart_ = PendingStart::None;
    return true;
}

void DeviceOperations::runPendingStart() {
    const PendingStart kind = pendingStart_;
    pendingStart_ = PendingStart::None;
    OperationStep = osIdle;  // the operation that owed the answer is given up
    lateTicks_ = 0;
    switch (kind) {
        case PendingStart::Write:
            WriteButtonClick();
            break;
        case PendingStart::Read:
            ReadButtonClick();
            break;
        case PendingStart::Test:
            TestkeypadButtonClick();
            break;
        case PendingStart::None:
            break;
    }
}

bool DeviceOperations::connect() {
    // An answer that never came may yet arrive on the old connection: a new one does not carry it.
    if (reopenBeforeStart_) link_.Stop();
    reopenBeforeStart_ = false;
    return ConnectDevice(link_, ui_);
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
    if (!connect()) return;
    written_ = WrittenImage(store_.Config.Settings, store_.DeviceMessages);
    openOperation(osWriteIdentity);
}

void DeviceOperations::ReadButtonClick() {
    if (!mayStart(PendingStart::Read)) return;
    if (!connect()) return;
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
    if (!connect()) return;
    setTestRunning(true);
    unansweredPolls_ = 0;
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

// "r" or "R" of block BlockNumber, each half under a whole reply allowance.
void DeviceOperations::requestBlockHalf(std::uint8_t command, int step) {
    ReplyTicks = kReplyTimeoutTicks;
    BuildBlockRead(link_.OutReport, BlockNumber);
    link_.SendReport(command);
    OperationStep = step;
}

void DeviceOperations::storeBlockHalf(bool second) {
    BlockImage& block = Device.blocks[BlockNumber];
    CopyBlockReplyHalf(link_.InReport, block.data() + (second ? kBlockHalfSize : 0));
    if (second) Device.blocksRead = std::max<std::size_t>(Device.blocksRead, BlockNumber + 1u);
}

void DeviceOperations::ReportReceived() {
    // The late answer of an operation the user has given up for a new one: dropped, and the new one starts.
    if (pendingStart_ != PendingStart::None && lateAnswerOwed()) {
        runPendingStart();
        updateBusy();
        return;
    }
    lateTicks_ = 0;
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
            if (options.verifyWrites) {
                Device = DeviceImage{};
                BlockNumber = 0;
                requestBlockHalf(kCmdReadFirstHalf, osVerifyFirstHalf);
            }
            break;
        case osVerifyFirstHalf:
            storeBlockHalf(false);
            requestBlockHalf(kCmdReadSecondHalf, osVerifySecondHalf);
            break;
        case osVerifySecondHalf:
            storeBlockHalf(true);
            if (options.readMessages && BlockNumber < kLastBlock) {
                ++BlockNumber;
                requestBlockHalf(kCmdReadFirstHalf, osVerifyFirstHalf);
            } else {
                finishVerify();
            }
            break;

        case osReadIdentity:
            if (!IdentifyStep()) break;
            BlockNumber = 0;
            Device = DeviceImage{};
            requestBlockHalf(kCmdReadFirstHalf, osReadFirstHalf);
            break;
        case osReadFirstHalf:
            CopyBlockReplyHalf(link_.InReport, ReadBackImage.data());
            requestBlockHalf(kCmdReadSecondHalf, osReadSecondHalf);
            break;
        case osReadSecondHalf:
            CopyBlockReplyHalf(link_.InReport, ReadBackImage.data() + kBlockHalfSize);
            UnpackSettingsBlock(ReadBackImage, 0, store_.Config.Settings);
            Device.blocks[0] = ReadBackImage;
            Device.blocksRead = 1;
            if (options.readMessages) {
                BlockNumber = 1;
                requestBlockHalf(kCmdReadFirstHalf, osReadBlockFirstHalf);
            } else {
                finishRead();
            }
            break;
        case osReadBlockFirstHalf:
            storeBlockHalf(false);
            requestBlockHalf(kCmdReadSecondHalf, osReadBlockSecondHalf);
            break;
        case osReadBlockSecondHalf:
            storeBlockHalf(true);
            if (BlockNumber < kLastBlock) {
                ++BlockNumber;
                requestBlockHalf(kCmdReadFirstHalf, osReadBlockFirstHalf);
            } else {
                finishRead();
            }
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

void DeviceOperations::finishRead() {
    Complete(kReadCompleteText);
    ui_.showReadBack(Device);
}

void DeviceOperations::finishVerify() {
    ReplyTicks = 0;
    OperationStep = osIdle;
    updateBusy();
    const std::vector<std::string> differences = CompareImages(written_, Device);
    if (differences.empty()) {
        ui_.showInformation(kDownloadVerifiedText);
        return;
    }
    std::u16string text = kNotVerifiedText;
    for (const std::string& line : differences) text += u"\r\n" + FromUtf8(line);
    ui_.showError(text);
}

void DeviceOperations::finishStoppedTest() {
    ReplyTicks = 0;
    pollAwaitTicks_ = 0;
    OperationStep = osIdle;
}

void DeviceOperations::ConnectionLost() {
    const bool operation = IsWriteOrReadStep(OperationStep) && ReplyTicks > 0;
    const bool test = testRunning();
    pendingStart_ = PendingStart::None;
    lateTicks_ = 0;
    if (!operation && !test) return;  // nothing was under way: the next click searches again
    if (test) StopTest();
    ReplyTicks = 0;
    pollAwaitTicks_ = 0;
    OperationStep = osIdle;
    updateBusy();
    ui_.showError(kDisconnectedText);
}

void DeviceOperations::Timer1Timer() {
    if (ReplyTicks != 0) {
        --ReplyTicks;
        if (ReplyTicks == 0) {
            lateTicks_ = kReplyTimeoutTicks;
            updateBusy();
            ui_.showError(kCannotCommunicateText);
        }
    } else if (lateTicks_ != 0 && --lateTicks_ == 0 && pendingStart_ != PendingStart::None) {
        reopenBeforeStart_ = true;
    }
    if (pollAwaitTicks_ != 0 && --pollAwaitTicks_ == 0 && OperationStep == osKeyReply) {
        ++unansweredPolls_;
        reopenBeforeStart_ = pendingStart_ != PendingStart::None;
    }
    if (KeyPollTicks != 0) {
        --KeyPollTicks;
        if (KeyPollTicks == 0) SendKeyPoll();
    }
    updateBusy();
    if (pendingStart_ != PendingStart::None && !answerAwaited() && !lateAnswerOwed()) runPendingStart();
}

}  // namespace qb
