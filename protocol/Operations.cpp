#include "protocol/Operations.h"

#include <algorithm>
#include <string>

#include "config/Codepage.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "config/Text.h"
#include "device/AccessAdvice.h"
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

bool IsVerifyStep(int step) {
    return step == osVerifyFirstHalf || step == osVerifySecondHalf;
}

bool IsReadStep(int step) {
    return step == osReadIdentity || step == osReadFirstHalf || step == osReadSecondHalf ||
           step == osReadBlockFirstHalf || step == osReadBlockSecondHalf;
}

bool IsCommand(std::uint8_t byte) {
    for (std::uint8_t c : {kCmdIdentify, kCmdWriteStart, kCmdFirstHalf, kCmdSecondHalf, kCmdWriteEnd, kCmdReadFirstHalf,
                           kCmdReadSecondHalf, kCmdKeyPoll})
        if (byte == c) return true;
    return false;
}

// "Cannot find VELMORA", then what was found and what lets this user open it.
std::u16string NoAccessText(const SearchResult& found) {
    std::u16string text = kCannotFindText;
    for (const HidInterfaceInfo& info : found.refused)
        text +=
            u"\r\nA VELMORA Quillanterbrooke is attached at " + Ascii(info.path) + u", but this user may not open it.";
    text += u"\r\n" + NoAccessAdvice();
    return text;
}

}  // namespace

std::optional<OutcomeKind> ConnectDevice(DeviceLink& link, MessageSink& sink, std::u16string* shown,
                                         std::u16string* holder) {
    const SearchResult found = link.ConnectDevice();
    std::u16string text;
    OutcomeKind kind = OutcomeKind::NotFound;
    switch (found.outcome) {
        case SearchOutcome::Connected:
            return std::nullopt;
        case SearchOutcome::ProgramMode:
            // The firmware loader does not speak the encoder's protocol: the next click searches again.
            link.Stop();
            kind = OutcomeKind::ProgramMode;
            text = kProgramModeText;
            break;
        case SearchOutcome::NoAccess:
            kind = OutcomeKind::NoAccess;
            text = NoAccessText(found);
            break;
        case SearchOutcome::InUse:
            kind = OutcomeKind::InUse;
            text = std::u16string(kInUseText) + (found.holder.empty() ? u"" : u" (" + FromUtf8(found.holder) + u")");
            if (holder) *holder = FromUtf8(found.holder);
            break;
        case SearchOutcome::NotFound:
            text = kCannotFindText;
            break;
    }
    sink.showError(text);
    if (shown) *shown = text;
    return kind;
}

DeviceOperations::DeviceOperations(DeviceLink& link, OperationsUi& ui) : link_(link), ui_(ui) {
    link_.setReportHandler([this] { ReportReceived(); });
    link_.setConnectionLostHandler([this] { ConnectionLost(); });
}

// ---- State ----

bool DeviceOperations::answerAwaited() const {
    if (OperationStep == osIdle) return false;
    // Key polls run without the reply countdown: a poll counts as awaited for one reply allowance after it
    // was sent.
    if (OperationStep == osKeyReply) return pollAwaitTicks_ > 0;
    return ReplyTicks > 0;
}

bool DeviceOperations::needsTicks() const {
    return ReplyTicks != 0 || KeyPollTicks != 0 || pollAwaitTicks_ != 0 || lateTicks_ != 0 || testRunning_ ||
           pending_.has_value();
}

bool DeviceOperations::lateAnswerOwed() const {
    return OperationStep != osIdle && lateTicks_ > 0;
}

bool DeviceOperations::busy() const {
    return IsWriteOrReadStep(OperationStep) && answerAwaited();
}

void DeviceOperations::updateState() {
    if (const bool now = busy(); now != busyShown_) {
        busyShown_ = now;
        ui_.setBusy(now);
    }
    if (const bool ticks = needsTicks(); ticks != ticksShown_) {
        ticksShown_ = ticks;
        ui_.setTicksNeeded(ticks);
    }
}

// ---- Starting ----

bool DeviceOperations::prepare(Request& request, const KeypadConfig& config) {
    request.config = config;
    const int bad = TranslateMessages(config.Messages, request.messages);
    std::u16string refusal;
    OutcomeKind kind = OutcomeKind::MessageRefused;
    if (bad >= 0) {
        refusal = MessageErrorText(config.Messages, bad);
    } else if (request.kind == OperationKind::Write && config.Settings[kBaudCodeOffset] >= kBaudRates.size()) {
        // The device would be given a rate it does not know.
        refusal = kNoBaudRateText;
        kind = OutcomeKind::BadConfiguration;
    } else {
        return true;
    }
    ui_.showError(refusal);
    Outcome outcome;
    outcome.operation = request.kind;
    outcome.kind = kind;
    outcome.text = refusal;
    ui_.finished(outcome);
    return false;
}

bool DeviceOperations::Write(const KeypadConfig& config) {
    if (busy()) return false;
    Request r;
    r.kind = OperationKind::Write;
    if (!prepare(r, config)) return true;
    return request(std::move(r));
}

bool DeviceOperations::Read() {
    if (busy()) return false;
    Request r;
    r.kind = OperationKind::Read;
    return request(std::move(r));
}

bool DeviceOperations::StartKeypadTest(const KeypadConfig& config) {
    if (busy()) return false;
    if (testRunning()) return false;
    Request r;
    r.kind = OperationKind::KeypadTest;
    if (!prepare(r, config)) return true;
    return request(std::move(r));
}

// A write or read that waits for an answer is never cut off. A keypad test gives way to a new operation: it is
// stopped first. If an answer of the last operation is still on its way (a key poll's, or one that timed out a
// moment ago), the new operation starts once it has arrived (and is dropped) or its allowance has run out, so the
// answer is never taken for the new operation's first.
bool DeviceOperations::request(Request r) {
    r.options = options;
    if (testRunning()) StopKeypadTest();
    if (answerAwaited() || lateAnswerOwed()) {
        if (pending_) giveUp(*pending_, OutcomeKind::Stopped);  // the later click wins
        pending_ = std::move(r);
        updateState();
        return true;
    }
    pending_.reset();
    start(r);
    updateState();
    return true;
}

// A start that waited and will not run: its end, told quietly (the device is gone, or another click replaced it).
void DeviceOperations::giveUp(const Request& r, OutcomeKind kind) {
    Outcome outcome;
    outcome.operation = r.kind;
    outcome.kind = kind;
    ui_.finished(outcome);
}

void DeviceOperations::runPendingStart() {
    Request r = std::move(*pending_);
    pending_.reset();
    // The operation that owed the answer is given up.
    if (lateAnswerOwed()) finish(OutcomeKind::NoAnswer, kCannotCommunicateText, Box::None);
    OperationStep = osIdle;
    lateTicks_ = 0;
    start(r);
}

void DeviceOperations::start(const Request& r) {
    running_ = r;
    outcome_ = Outcome{};
    outcome_.operation = r.kind;
    outcomeGiven_ = false;
    if (!connect()) return;
    switch (r.kind) {
        case OperationKind::Write: {
            const bool verify = r.options.verifyWrites;
            const int verifyReports = verify ? 2 * (r.options.readMessages ? int(kBlockCount) : 1) : 0;
            progress_ = {0, kWriteReports + verifyReports};
            written_ = WrittenImage(r.config.Settings, r.messages);
            openOperation(osWriteIdentity);
            break;
        }
        case OperationKind::Read:
            progress_ = {0, kReadReports + (r.options.readMessages ? 2 * int(kLastBlock) : 0)};
            openOperation(osReadIdentity);
            break;
        case OperationKind::KeypadTest:
            progress_ = {};
            setTestRunning(true);
            openOperation(osTestIdentity);
            break;
    }
}

bool DeviceOperations::connect() {
    // An answer that never came may yet arrive on the old connection: a new one does not carry it.
    if (answerOwed_) link_.Stop();
    answerOwed_ = false;
    std::u16string shown;
    const std::optional<OutcomeKind> failed = ConnectDevice(link_, ui_, &shown, &outcome_.holder);
    if (!failed) return true;
    outcome_.kind = *failed;
    outcome_.text = shown;
    deliver();
    return false;
}

void DeviceOperations::openOperation(int identityStep) {
    ui_.showProgress(progress_);
    sendAwaited(kCmdIdentify, identityStep);
    updateState();
}

// Every report whose answer is awaited gets a whole reply allowance.
void DeviceOperations::sendAwaited(std::uint8_t command, int step) {
    ReplyTicks = kReplyTimeoutTicks;
    lastCommand_ = command;
    link_.SendReport(command);
    OperationStep = step;
}

// The device echoes the command letter in byte 1 of its answer, and a half's block number in byte 2 of the
// answer to "d" and "D": an answer that echoes another request is not this one's. A device that echoes nothing
// is taken at its word.
bool DeviceOperations::answerBelongs() const {
    const std::uint8_t echoed = link_.InReport[1];
    if (!IsCommand(echoed)) return true;
    if (echoed != lastCommand_) return false;
    if (echoed == kCmdFirstHalf || echoed == kCmdSecondHalf)
        return link_.InReport[kBlockNumberByte] == link_.OutReport[kBlockNumberByte];
    return true;
}

// ---- Answers ----

void DeviceOperations::ReportReceived() {
    // The late answer of an operation the user has given up for a new one: dropped, and the new one starts.
    if (pending_ && lateAnswerOwed()) {
        answerOwed_ = false;
        runPendingStart();
        updateState();
        return;
    }
    if (OperationStep == osIdle) return;  // a stray answer changes nothing
    if (!answerBelongs()) return;         // nor does one that answers another request
    lateTicks_ = 0;
    answerOwed_ = false;
    if (OperationStep == osTestIdentity || OperationStep == osKeyReply) {
        TestStep();
    } else {
        ++progress_.done;
        ui_.showProgress(progress_);
        if (IsVerifyStep(OperationStep))
            VerifyStep();
        else if (IsReadStep(OperationStep))
            ReadStep();
        else
            WriteStep();
    }
    updateState();
    if (pending_ && !answerAwaited()) runPendingStart();
    updateState();
}

bool DeviceOperations::IdentifyStep() {
    const IdentityReply reply = DecodeIdentityReply(link_.InReport);
    if (!reply.accepted) {
        finish(OutcomeKind::NotQuillanterbrooke, kNotQuillanterbrookeText, Box::Error);
        return false;
    }
    ui_.clearLog();
    ui_.addLogLine(u"Appware Version:" + FromAnsi(reply.version));
    ui_.addLogLine(u"Serial Number: " + Ascii(FormatSerial(reply.serial)));
    const HidInterfaceInfo& info = link_.openInterface();
    outcome_.device = DeviceIdentity{info.path, reply.version, reply.serial, info.serialNumber};
    ui_.deviceIdentified(reply);
    return true;
}

void DeviceOperations::WriteStep() {
    HidReport& out = link_.OutReport;
    switch (OperationStep) {
        case osWriteIdentity:
            if (!IdentifyStep()) return;
            BlockNumber = 0;
            MessageIndex = 0;
            sendAwaited(kCmdWriteStart, osWriteStartAck);
            return;
        case osWriteStartAck:
            BuildSettingsFirstHalf(out, running_.config.Settings);
            sendAwaited(kCmdFirstHalf, osSettingsFirstAck);
            return;
        case osSettingsFirstAck:
            BuildSettingsSecondHalf(out);
            sendAwaited(kCmdSecondHalf, osSecondHalfAck);
            BlockNumber = 1;
            MessageIndex = 0;
            return;
        case osSecondHalfAck:
            BuildMessageFirstHalf(out, BlockNumber, running_.messages, MessageIndex);
            sendAwaited(kCmdFirstHalf, osMessageFirstAck);
            return;
        case osMessageFirstAck:
            BuildMessageSecondHalf(out, BlockNumber, running_.messages, MessageIndex);
            ++MessageIndex;
            sendAwaited(kCmdSecondHalf,
                        MessageIndex >= static_cast<int>(kSlotCount) ? osLastSecondHalfAck : osSecondHalfAck);
            ++BlockNumber;
            return;
        case osLastSecondHalfAck:
            sendAwaited(kCmdWriteEnd, osWriteEndAck);
            return;
        case osWriteEndAck:
            finishWrite();
            return;
        default:
            return;
    }
}

void DeviceOperations::finishWrite() {
    if (!running_.options.verifyWrites) {
        finish(OutcomeKind::Done, kDownloadCompleteText, Box::Information);
        return;
    }
    // Read back before anything is said: one box tells both.
    Device = DeviceImage{};
    BlockNumber = 0;
    requestBlockHalf(kCmdReadFirstHalf, osVerifyFirstHalf);
}

void DeviceOperations::VerifyStep() {
    if (OperationStep == osVerifyFirstHalf) {
        storeBlockHalf(false);
        requestBlockHalf(kCmdReadSecondHalf, osVerifySecondHalf);
        return;
    }
    storeBlockHalf(true);
    if (running_.options.readMessages && BlockNumber < kLastBlock) {
        ++BlockNumber;
        requestBlockHalf(kCmdReadFirstHalf, osVerifyFirstHalf);
    } else {
        finishVerify();
    }
}

void DeviceOperations::ReadStep() {
    switch (OperationStep) {
        case osReadIdentity:
            if (!IdentifyStep()) return;
            BlockNumber = 0;
            Device = DeviceImage{};
            requestBlockHalf(kCmdReadFirstHalf, osReadFirstHalf);
            return;
        case osReadFirstHalf:
            CopyBlockReplyHalf(link_.InReport, ReadBackImage.data());
            requestBlockHalf(kCmdReadSecondHalf, osReadSecondHalf);
            return;
        case osReadSecondHalf:
            CopyBlockReplyHalf(link_.InReport, ReadBackImage.data() + kBlockHalfSize);
            Device.blocks[0] = ReadBackImage;
            Device.blocksRead = 1;
            if (running_.options.readMessages) {
                BlockNumber = 1;
                requestBlockHalf(kCmdReadFirstHalf, osReadBlockFirstHalf);
            } else {
                finishRead();
            }
            return;
        case osReadBlockFirstHalf:
            storeBlockHalf(false);
            requestBlockHalf(kCmdReadSecondHalf, osReadBlockSecondHalf);
            return;
        case osReadBlockSecondHalf:
            storeBlockHalf(true);
            if (BlockNumber < kLastBlock) {
                ++BlockNumber;
                requestBlockHalf(kCmdReadFirstHalf, osReadBlockFirstHalf);
            } else {
                finishRead();
            }
            return;
        default:
            return;
    }
}

void DeviceOperations::TestStep() {
    if (!testRunning()) {
        // The test was stopped while a request was out: its answer ends it quietly, lights no key and starts no
        // polling.
        finishStoppedTest();
        return;
    }
    if (OperationStep == osTestIdentity) {
        if (!IdentifyStep()) return;
        // The first poll's answer runs under the reply countdown.
        ReplyTicks = kReplyTimeoutTicks;
        SendKeyPoll();
        return;
    }
    ReplyTicks = 0;
    pollAwaitTicks_ = 0;
    OperationStep = osIdle;
    ShowKey(link_.InReport[kKeyNumberByte]);
    KeyPollTicks = kKeyPollAfterReplyTicks;
}

// "r" or "R" of block BlockNumber, each half under a whole reply allowance.
void DeviceOperations::requestBlockHalf(std::uint8_t command, int step) {
    BuildBlockRead(link_.OutReport, BlockNumber);
    sendAwaited(command, step);
}

void DeviceOperations::storeBlockHalf(bool second) {
    BlockImage& block = Device.blocks[BlockNumber];
    CopyBlockReplyHalf(link_.InReport, block.data() + (second ? kBlockHalfSize : 0));
    if (second) Device.blocksRead = std::max<std::size_t>(Device.blocksRead, BlockNumber + 1u);
}

// ---- Ends ----

// The last answer of a write or read: the box is shown from inside the handler, and the operation counts as
// under way until it has been closed.
void DeviceOperations::finish(OutcomeKind kind, const std::u16string& text, Box box) {
    ReplyTicks = 0;
    pollAwaitTicks_ = 0;
    lateTicks_ = 0;
    progress_ = {};
    updateState();
    outcome_.kind = kind;
    outcome_.text = text;
    if (box == Box::Error) ui_.showError(text);
    if (box == Box::Information) ui_.showInformation(text);
    OperationStep = osIdle;
    ui_.showProgress(progress_);
    updateState();
    deliver();
}

void DeviceOperations::deliver() {
    if (outcomeGiven_) return;
    outcomeGiven_ = true;
    ui_.finished(outcome_);
}

void DeviceOperations::finishRead() {
    outcome_.read = Device;
    finish(OutcomeKind::Done, kReadCompleteText, Box::Information);
    ui_.showReadBack(Device);
}

void DeviceOperations::finishVerify() {
    outcome_.read = Device;
    outcome_.differences = CompareImages(written_, Device);
    if (outcome_.differences.empty()) {
        outcome_.verified = true;
        finish(OutcomeKind::Done, kDownloadVerifiedText, Box::Information);
        return;
    }
    std::u16string text = std::u16string(kDownloadCompleteText) + u"\r\n" + kNotVerifiedText;
    for (const std::string& line : outcome_.differences) text += u"\r\n" + FromUtf8(line);
    finish(OutcomeKind::NotVerified, text, Box::Error);
}

void DeviceOperations::finishStoppedTest() {
    ReplyTicks = 0;
    pollAwaitTicks_ = 0;
    OperationStep = osIdle;
}

void DeviceOperations::StopKeypadTest() {
    if (testPending()) {
        giveUp(*pending_, OutcomeKind::Stopped);
        pending_.reset();
        updateState();
        return;
    }
    if (!testRunning()) return;
    setTestRunning(false);
    KeyPollTicks = 0;
    updateState();
    // The test's end for whoever started it, unless something has ended it already.
    outcome_.kind = OutcomeKind::Done;
    outcome_.text.clear();
    deliver();
}

void DeviceOperations::setTestRunning(bool running) {
    testRunning_ = running;
    ui_.setTestButtonCaption(running ? kStopTestCaption : kTestKeypadCaption);
}

void DeviceOperations::SendKeyPoll() {
    lastCommand_ = kCmdKeyPoll;
    link_.SendReport(kCmdKeyPoll);
    OperationStep = osKeyReply;
    KeyPollTicks = kKeyPollRepeatTicks;
    pollAwaitTicks_ = kReplyTimeoutTicks;
}

void DeviceOperations::ShowKey(std::uint8_t keyNumber) {
    const KeyInfo* key = KeyByNumber(keyNumber);
    ui_.showKey(key ? key->legendIndex : -1);
}

void DeviceOperations::ConnectionLost() {
    const bool operation = IsWriteOrReadStep(OperationStep) && (ReplyTicks > 0 || lateTicks_ > 0);
    const bool test = testRunning();
    const bool pending = pending_.has_value();
    if (pending_) giveUp(*pending_, OutcomeKind::Disconnected);
    pending_.reset();
    answerOwed_ = false;
    if (!operation && !test) {
        // Nothing was under way (the next click searches again); a start that waited gives up with it.
        lateTicks_ = 0;
        if (pending) {
            OperationStep = osIdle;
            updateState();
        }
        return;
    }
    if (test) {
        setTestRunning(false);
        KeyPollTicks = 0;
    }
    // An operation that has already been told to have no answer ends without a second box.
    const bool told = ReplyTicks == 0 && !test;
    finish(OutcomeKind::Disconnected, kDisconnectedText, told ? Box::None : Box::Error);
}

void DeviceOperations::Timer1Timer() {
    if (ReplyTicks != 0) {
        --ReplyTicks;
        if (ReplyTicks == 0) {
            // The step stays: an answer that comes within one more allowance still carries the operation on.
            lateTicks_ = kReplyTimeoutTicks;
            answerOwed_ = true;
            updateState();
            ui_.showError(kCannotCommunicateText);
        }
    } else if (lateTicks_ != 0 && --lateTicks_ == 0 && OperationStep != osIdle && OperationStep != osKeyReply) {
        // It never came: the operation ends here, and the next one opens a new connection.
        const bool test = testRunning();
        if (test) {
            setTestRunning(false);
            KeyPollTicks = 0;
        }
        finish(OutcomeKind::NoAnswer, kCannotCommunicateText, Box::None);
    }
    if (pollAwaitTicks_ != 0 && --pollAwaitTicks_ == 0 && OperationStep == osKeyReply) {
        ++outcome_.unansweredPolls;
        answerOwed_ = true;
    }
    if (KeyPollTicks != 0) {
        --KeyPollTicks;
        if (KeyPollTicks == 0) SendKeyPoll();
    }
    updateState();
    if (pending_ && !answerAwaited() && !lateAnswerOwed()) runPendingStart();
    updateState();
}

}  // namespace qb
