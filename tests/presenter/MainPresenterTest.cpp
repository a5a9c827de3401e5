// The window's behaviour without any toolkit: the presenter on a fake skin, the simulated device behind it, the test
// thread as the window's thread (it pumps the queue and ticks the 50 ms timer while it runs).
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "config/Backups.h"
#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/FileFlows.h"
#include "protocol/DeviceImage.h"
#include "protocol/Operations.h"
#include "protocol/Reports.h"
#include "simulator/SimulatedDevice.h"
#include "tests/presenter/FakeSkin.h"
#include "tests/support/ScratchFolder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;
using Kind = FakeSink::Kind;

constexpr std::int32_t kSerial = 4711;

const KeyInfo& Key(char legend) {
    for (const KeyInfo& k : kKeys)
        if (k.legend == legend) return k;
    throw std::out_of_range("no key");
}
std::string Legend(char key) {
    return KeyControl("SwitchEdit", Key(key));
}
std::string Message(char key) {
    return KeyControl("OutStringEdit", Key(key));
}
std::string Label(char key) {
    return KeyControl("OutStringLabel", Key(key));
}

// A bus watcher the test fires by hand.
class HandWatcher : public BusWatcher {
public:
    explicit HandWatcher(std::function<void()>* fire) : fire_(fire) {}
    void start(std::function<void()> changed) override { *fire_ = std::move(changed); }

private:
    std::function<void()>* fire_;
};

class Window : public ::testing::Test {
protected:
    // A new window on the bus.
    void open() {
        presenter_.reset();
        skin_ = std::make_unique<FakeSkin>();
        skin_->remembered = remembered_;
        skin_->help.available = helpViewer_;
        presenter_ = std::make_unique<MainPresenter>(*skin_, bus_, folder_.path);
        skin_->presenter = presenter_.get();
        presenter_->FormCreate();
        presenter_->startPresence(std::make_unique<HandWatcher>(&busChanged_));
    }
    void SetUp() override {
        SetEnvironment(kBackupDirVariable, (folder_ / "backups").string());
        device_.setSerial(kSerial);
        device_.setServesMessageBlocks(true);
        HoldFastAndHiOnKey5(device_);
        bus_.add({{}, "sim:1", &device_});
        open();
    }
    void TearDown() override {
        presenter_.reset();
        SetEnvironment(kBackupDirVariable, "");
    }

    int deviceBaud() const {
        SettingsBlock settings{};
        UnpackSettingsBlock(device_.block(0), 0, settings);
        return settings[kBaudCodeOffset];
    }

    // The window's thread until `done` holds: queued work runs, the timer ticks every 50 ms while it runs.
    bool until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        auto nextTick = std::chrono::steady_clock::now() + 50ms;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            skin_->queue.runOne(5ms);
            if (skin_->timer && std::chrono::steady_clock::now() >= nextTick) {
                nextTick += 50ms;
                presenter_->Timer1Timer();
            }
        }
        return true;
    }
    bool boxes(std::size_t count) {
        const bool reached = until([&] { return skin_->sink.shown.size() >= count; });
        until([] { return false; }, 100ms);  // nothing more follows
        return reached && skin_->sink.shown.size() == count;
    }
    std::u16string text(std::string_view control) const { return skin_->text(control); }

    ScratchFolder folder_;
    SimulatedDevice device_;
    SimulatedBus bus_;
    std::map<std::string, bool> remembered_;
    bool helpViewer_ = true;
    std::function<void()> busChanged_;
    std::unique_ptr<FakeSkin> skin_;
    std::unique_ptr<MainPresenter> presenter_;
};

// Created: the caption, 19200 baud, the defaults shown and unchanged; without a help file the Help button is hidden
// and the viewer never loaded.
TEST_F(Window, StartsWithTheDefaultsUnchanged) {
    EXPECT_EQ(skin_->caption, u"VELMORA Quillanterbrooke Interface Version 1.00");
    EXPECT_EQ(skin_->value("BaudRateComboBox"), 4);
    EXPECT_FALSE(skin_->visible("HelpButton"));
    EXPECT_FALSE(skin_->help.loaded);
    EXPECT_TRUE(skin_->checked("BackupCheckBox"));
    EXPECT_FALSE(skin_->timer);
    EXPECT_TRUE(presenter_->CloseRequested());
    EXPECT_TRUE(skin_->sink.shown.empty());
}

// Whatever a legend shows, its message label shows; the message and the record are not touched.
TEST_F(Window, LegendsMirrorIntoTheirLabels) {
    skin_->type(Legend('5'), u"x");
    EXPECT_EQ(text(Label('5')), u"x");
    EXPECT_EQ(text(Message('5')), u"5");
    skin_->type(Legend('*'), u"");
    EXPECT_EQ(text(Label('*')), u"");
    presenter_->setLegendText(Key('D').legendIndex, u"\u00e9");
    EXPECT_EQ(text(Label('D')), u"\u00e9");
    EXPECT_EQ(text(Label('C')), u"C");
    // Changed back, nothing is asked at closing: contents count, not edits.
    skin_->type(Legend('5'), u"5");
    skin_->type(Legend('*'), u"*");
    skin_->type(Legend('D'), u"D");
    EXPECT_TRUE(presenter_->CloseRequested());
    EXPECT_TRUE(skin_->sink.questions().empty());
}

// A save that did not happen must not lose the changes.
TEST_F(Window, UnsavedChangesAskBeforeClosing) {
    struct Case {
        Answer answer;
        const char* saveAs;  // empty: the dialog is cancelled
        bool closes;
    };
    for (const Case c : {Case{Answer::Cancel, "", false}, Case{Answer::No, "", true}, Case{Answer::Yes, "", false},
                         Case{Answer::Yes, "no such folder/x.dat", false}, Case{Answer::Yes, "closing.dat", true}}) {
        SCOPED_TRACE(c.saveAs);
        open();
        skin_->type(Message('7'), u"SEVEN");
        skin_->sink.answers = {c.answer};
        if (*c.saveAs) skin_->chooser.save = folder_ / c.saveAs;
        skin_->requestClose();
        EXPECT_EQ(skin_->closed, c.closes);
        EXPECT_EQ(skin_->sink.questions(), std::vector<std::u16string>{kDataChangedText});
        EXPECT_EQ(skin_->chooser.saveCalls, c.answer == Answer::Yes ? 1 : 0);
        EXPECT_EQ(text(Message('7')), u"SEVEN");
        if (c.closes && *c.saveAs) {
            EXPECT_EQ(std::filesystem::file_size(folder_ / c.saveAs), kDataFileSize);
        }
    }
}

// A file loads into the controls, replacing edits without asking, and then counts as saved; a file that is none
// says so and changes nothing.
TEST_F(Window, LoadsFilesAndRefusesOthers) {
    KeypadConfig config = presenter_->store().Config;
    config.Settings[kColumnLinesOffset + 2] = 7;
    config.Settings[kLegendsOffset + Key('5').legendIndex] = 'f';
    config.Settings[kBaudCodeOffset] = 6;
    config.Settings[kParityCodeOffset] = 2;
    const char message[] = "FIVE\\0A";
    std::copy(std::begin(message), std::end(message), Slot(config.Messages, std::size_t(Key('5').slot)));
    ASSERT_TRUE(DiskFileAccess().write(folder_ / "five.dat", EncodeDataFile(config)));
    ASSERT_TRUE(DiskFileAccess().write(folder_ / "short.dat", std::vector<std::uint8_t>(100, 1)));

    skin_->type(Message('5'), u"lost");
    skin_->chooser.open = folder_ / "five.dat";
    presenter_->LoadButtonClick();
    EXPECT_EQ(text(Message('5')), u"FIVE\\0A");
    EXPECT_EQ(text(Label('5')), u"f");
    EXPECT_EQ(skin_->value("CSpinEdit3"), 7);
    EXPECT_EQ(skin_->value("BaudRateComboBox"), 6);
    EXPECT_TRUE(skin_->checked("OddParityRadioButton"));
    EXPECT_FALSE(skin_->checked("NoParityRadioButton"));
    EXPECT_TRUE(skin_->sink.shown.empty());

    // Saved as it was loaded; a name that is no UTF-8 (Latin-1 "caf\xe9.dat", as a command line hands it over)
    // works too where names are bytes.
#ifdef _WIN32
    const std::filesystem::path saved = folder_ / "saved.dat";
#else
    const std::filesystem::path saved = folder_.path.string() + "/caf\xe9.dat";
#endif
    skin_->chooser.save = saved;
    presenter_->SaveButtonClick();
    EXPECT_EQ(DiskFileAccess().read(saved, 2 * kDataFileSize), EncodeDataFile(config));
    skin_->type(Message('5'), u"lost");
    EXPECT_TRUE(presenter_->LoadFile(saved));
    EXPECT_EQ(text(Message('5')), u"FIVE\\0A");

    EXPECT_FALSE(presenter_->LoadFile(folder_ / "short.dat"));
    ASSERT_EQ(skin_->sink.errors().size(), 1u);
    EXPECT_EQ(text(Message('5')), u"FIVE\\0A");
    EXPECT_TRUE(presenter_->CloseRequested());
}

// The write keeps what the device held first, quietly: the write's own box is the only one, no read-back shows,
// the record keeps its settings, and the buttons stay locked from the click to the write's end.
TEST_F(Window, ABackupComesBeforeEveryWrite) {
    for (const bool serves : {true, false}) {
        SCOPED_TRACE(serves);
        SetEnvironment(kBackupDirVariable, (folder_ / ("backups" + std::to_string(serves))).string());
        HoldFastAndHiOnKey5(device_);
        device_.setServesMessageBlocks(serves);
        open();
        presenter_->WriteButtonClick();
        EXPECT_FALSE(skin_->at("WriteButton").enabled);
        std::vector<std::size_t> boxesAtEnable;
        std::set<std::u16string> progress;  // the status line's, as the backup and the write go
        ASSERT_TRUE(until([&] {
            progress.insert(text("ProgressText").substr(0, text("ProgressText").find(u':')));
            if (skin_->at("WriteButton").enabled) boxesAtEnable.push_back(skin_->sink.shown.size());
            return skin_->at("WriteButton").enabled;
        }));
        ASSERT_TRUE(boxes(1));
        EXPECT_EQ(skin_->sink.shown[0].text, kDownloadCompleteText);
        EXPECT_EQ(boxesAtEnable, std::vector<std::size_t>{1});
        EXPECT_EQ(progress, (std::set<std::u16string>{u"Backing up", u"Writing"}));
        EXPECT_FALSE(skin_->visible("ProgressText"));
        EXPECT_FALSE(skin_->readBack);
        EXPECT_EQ(deviceBaud(), int(kDefaultBaudCode));
        EXPECT_EQ(presenter_->store().Config.Settings[kBaudCodeOffset], kDefaultBaudCode);

        const BackupList list = ListBackups(folder_ / ("backups" + std::to_string(serves)));
        ASSERT_EQ(list.entries.size(), 1u);
        EXPECT_EQ(list.entries[0].serial, FormatSerial(kSerial));
        EXPECT_EQ(list.entries[0].messagesRead, std::optional<bool>(serves));
        const auto bytes = DiskFileAccess().read(list.entries[0].path, 2 * kDataFileSize);
        ASSERT_TRUE(bytes);
        const KeypadConfig kept = std::get<KeypadConfig>(DecodeDataFile(bytes->data(), bytes->size()));
        EXPECT_EQ(kept.Settings[kBaudCodeOffset], 6);
        EXPECT_EQ(SlotText(Slot(kept.Messages, std::size_t(Key('5').slot))), serves ? "Hi\\0D" : "5");
    }
}

// A backup that cannot be made stops the write with one box saying why; unticked, the write goes ahead without
// one, and the choice is remembered.
TEST_F(Window, NoBackupNoWrite) {
    ASSERT_TRUE(DiskFileAccess().write(folder_ / "backups", {1, 2, 3}));  // the folder is a file
    presenter_->WriteButtonClick();
    ASSERT_TRUE(boxes(1));
    EXPECT_EQ(deviceBaud(), 6);
    const std::u16string box = skin_->sink.errors().at(0);
    EXPECT_TRUE(box.starts_with(u"No backup of the device's configuration could be made:\r\n"));
    EXPECT_TRUE(box.ends_with(u"Nothing was written. Untick \"Back up before writing\" to write without one."));
    EXPECT_TRUE(skin_->at("WriteButton").enabled);

    skin_->tick("BackupCheckBox", false);
    EXPECT_FALSE(skin_->remembered.at("backUpBeforeWriting"));
    presenter_->WriteButtonClick();
    ASSERT_TRUE(boxes(2));
    EXPECT_EQ(skin_->sink.shown[1].text, kDownloadCompleteText);
    EXPECT_EQ(deviceBaud(), int(kDefaultBaudCode));

    // Without the device the backup's read finds none.
    device_.unplug();
    remembered_ = skin_->remembered;
    open();
    skin_->tick("BackupCheckBox", true);
    presenter_->WriteButtonClick();
    ASSERT_TRUE(boxes(1));
    EXPECT_NE(skin_->sink.errors().at(0).find(kCannotFindText), std::u16string::npos);
    device_.replug();
}

// A configuration the write refuses unsent is not backed up first: the device is not even opened.
TEST_F(Window, ARefusedWriteTakesNoBackup) {
    skin_->type(Message('3'), u"\\Q");
    const std::size_t opens = device_.counters().opens;
    presenter_->WriteButtonClick();
    ASSERT_TRUE(boxes(1));
    EXPECT_TRUE(skin_->sink.errors().at(0).starts_with(u"Error on Message"));
    EXPECT_EQ(device_.counters().opens, opens);
    EXPECT_TRUE(ListBackups(folder_ / "backups").entries.empty());
}

// A backup is written back verified, after a backup of its own; one without the device's messages only once the
// user has said yes.
TEST_F(Window, BackupsAreWrittenBack) {
    KeypadConfig settingsOnly;
    ApplyDefaults(settingsOnly);
    BackupNote note;
    note.messagesRead = false;
    const BackupSaved saved = SaveBackup(folder_ / "backups", FormatSerial(kSerial), settingsOnly, note);
    ASSERT_TRUE(saved.error.empty());
    skin_->sink.answers = {Answer::No, Answer::Yes};
    presenter_->WriteBackup(saved.path, true);
    EXPECT_EQ(skin_->sink.questions().size(), 1u);
    EXPECT_EQ(device_.receivedCount(), 0u);
    presenter_->WriteBackup(saved.path, true);
    ASSERT_TRUE(boxes(3));
    EXPECT_EQ(skin_->sink.shown[2].text, kDownloadVerifiedText);
    EXPECT_EQ(deviceBaud(), int(kDefaultBaudCode));
    EXPECT_EQ(ListBackups(folder_ / "backups", FormatSerial(kSerial)).entries.size(), 2u);
    // The open backups list follows.
    ASSERT_FALSE(skin_->backupsShown.empty());
    EXPECT_EQ(skin_->backupsShown.back(), std::make_pair(std::optional(FormatSerial(kSerial)), true));

    presenter_->WriteBackup(folder_ / "missing.dat", false);
    ASSERT_TRUE(boxes(4));
    EXPECT_EQ(skin_->sink.shown[3].kind, Kind::Error);
}

// A close during a write or read waits for its end (also one the device's unplugging brings), says so, then asks
// the close question as usual.
TEST_F(Window, ClosingWaitsForTheOperation) {
    struct Case {
        bool write, unplug, testFirst;  // testFirst: the write stops a running keypad test
    };
    for (const Case c :
         {Case{true, false, false}, Case{false, false, false}, Case{true, true, false}, Case{true, false, true}}) {
        SCOPED_TRACE(std::to_string(c.write) + std::to_string(c.unplug) + std::to_string(c.testFirst));
        open();
        if (c.testFirst) {
            skin_->tick("BackupCheckBox", false);  // the write itself stops the test
            presenter_->TestkeypadButtonClick();
            ASSERT_TRUE(until([&] { return presenter_->operations().OperationStep == osKeyReply; }));
        }
        device_.setAnswerDelay(15ms);
        skin_->type(Message('7'), u"SEVEN");
        skin_->sink.answers = {Answer::No};
        c.write ? presenter_->WriteButtonClick() : presenter_->ReadButtonClick();
        skin_->requestClose();
        EXPECT_FALSE(skin_->closed);
        EXPECT_EQ(text("NoteText"),
                  c.write ? u"Closing once the write has finished..." : u"Closing once the read has finished...");
        EXPECT_TRUE(skin_->visible("NoteText"));
        if (c.unplug) device_.unplug();
        ASSERT_TRUE(until([&] { return skin_->closed; }));
        ASSERT_EQ(skin_->sink.shown.size(), 2u);
        EXPECT_EQ(skin_->sink.shown[0].kind, c.unplug ? Kind::Error : Kind::Information);
        EXPECT_EQ(skin_->sink.shown[1].text, kDataChangedText);
        EXPECT_EQ(device_.counters().openHandles, 0u);
        EXPECT_FALSE(skin_->timer);
        if (c.unplug) device_.replug();
        device_.setAnswerDelay(0ms);
    }
}

// A read brings the device's settings into the record only and shows what differs; taking the device's values
// over asks first when the window holds unsaved edits.
TEST_F(Window, ReadShowsTheDeviceAndTakesItsValuesOver) {
    struct Case {
        bool edited;
        Answer answer;
    };
    for (const Case c : {Case{false, Answer::Cancel}, Case{true, Answer::Cancel}, Case{true, Answer::No}}) {
        open();
        skin_->tick("ReadMessagesCheckBox", true);
        if (c.edited) skin_->type(Legend('A'), u"z");
        skin_->sink.answers = {c.answer};
        presenter_->ReadButtonClick();
        ASSERT_TRUE(until([&] { return skin_->readBack.has_value(); }));
        EXPECT_EQ(skin_->sink.shown.at(0).text, kReadCompleteText);
        EXPECT_EQ(presenter_->store().Config.Settings[kBaudCodeOffset], 6);
        EXPECT_EQ(skin_->value("BaudRateComboBox"), 4);
        bool baudDiffers = false;
        for (const ComparisonRow& row : skin_->readBack->rows)
            if (row.name == "Baud rate") baudDiffers = row.differs;
        EXPECT_TRUE(baudDiffers);

        presenter_->TakeOverDeviceValues();
        const bool takenOver = !c.edited || c.answer == Answer::No;
        EXPECT_EQ(skin_->sink.questions().size(), c.edited ? 1u : 0u);
        EXPECT_EQ(skin_->value("BaudRateComboBox"), takenOver ? 6 : 4);
        EXPECT_EQ(text(Message('5')), takenOver ? u"Hi\\0D" : u"5");
        EXPECT_EQ(text(Legend('A')), takenOver ? u"A" : u"z");
        EXPECT_EQ(skin_->readBack.has_value(), !takenOver);
    }
}

// The keypad test lights the key held and runs the timer only while it runs; idle, nothing ticks; a read whose
// answer never comes frees its button once it has timed out.
TEST_F(Window, TimerAndKeypadTest) {
    EXPECT_FALSE(skin_->timer);
    presenter_->TestkeypadButtonClick();
    EXPECT_TRUE(skin_->timer);
    EXPECT_FALSE(skin_->at("DeviceChooser").enabled);  // a test polls one device
    ASSERT_TRUE(until([&] { return text("TestkeypadButton") == u"Stop Test"; }));
    device_.setKeyDown(Key('B').keyNumber);
    ASSERT_TRUE(until([&] { return skin_->at(Legend('B')).colour == kLitKeyColour; }));
    for (const KeyInfo& k : kKeys)
        EXPECT_EQ(skin_->at(KeyControl("SwitchEdit", k)).colour.has_value(), k.legend == 'B');
    presenter_->TestkeypadButtonClick();
    ASSERT_TRUE(until([&] { return !skin_->timer; }));
    EXPECT_EQ(text("TestkeypadButton"), u"Test Keypad");
    EXPECT_EQ(skin_->at(Legend('B')).colour, kLitKeyColour);  // stopping leaves the key lit
    EXPECT_TRUE(skin_->at("DeviceChooser").enabled);
    device_.setKeyDown(0);

    device_.dropNextAnswers(1);
    presenter_->ReadButtonClick();
    EXPECT_FALSE(skin_->at("DeviceChooser").enabled);
    ASSERT_TRUE(until([&] { return !skin_->sink.errors().empty() && !skin_->timer; }));
    EXPECT_EQ(skin_->sink.errors(), std::vector<std::u16string>{kCannotCommunicateText});
    EXPECT_TRUE(skin_->at("ReadButton").enabled);
    EXPECT_TRUE(skin_->at("DeviceChooser").enabled);
}

// The status line follows the bus, tells who the device is once identified and lets the user choose between two;
// the operations then talk to the chosen one only.
TEST_F(Window, StatusLineFollowsTheBus) {
    EXPECT_EQ(text("PresenceText"), u"VELMORA attached at sim:1");
    EXPECT_FALSE(skin_->visible("DeviceChooser"));
    device_.unplug();
    busChanged_();
    EXPECT_EQ(text("PresenceText"), u"VELMORA not attached");
    device_.replug();
    busChanged_();
    device_.setVersion("1.2");
    presenter_->ReadButtonClick();
    ASSERT_TRUE(boxes(1));
    EXPECT_TRUE(text("PresenceText").ends_with(u": appware version 1.2, serial number 4711"))
        << text("PresenceText").size();
    EXPECT_FALSE(skin_->visible("ProgressText"));

    SimulatedDevice other;
    other.setSerialString("B-2");
    device_.setSerialString("A-1");
    bus_.add({{}, "sim:2", &other});
    busChanged_();
    EXPECT_EQ(text("PresenceText"), u"2 encoders attached; the operations use:");
    ASSERT_TRUE(skin_->visible("DeviceChooser"));
    ASSERT_EQ(skin_->at("DeviceChooser").items.size(), 2u);
    EXPECT_EQ(skin_->at("DeviceChooser").items[1], u"VELMORA attached, USB serial B-2");
    presenter_->DeviceChosen(1);
    EXPECT_EQ(skin_->value("DeviceChooser"), 1);
    const std::size_t before = device_.receivedCount();
    presenter_->ReadButtonClick();
    ASSERT_TRUE(boxes(2));
    EXPECT_EQ(device_.receivedCount(), before);
    EXPECT_EQ(other.receivedCount(), 3u);
    presenter_.reset();  // before the second device
}

// The options come from what was remembered and are written only when one changes.
TEST_F(Window, OptionsAreRemembered) {
    remembered_ = {{"verifyWrites", true}, {"backUpBeforeWriting", false}};
    open();
    EXPECT_TRUE(skin_->checked("VerifyWritesCheckBox"));
    EXPECT_FALSE(skin_->checked("ReadMessagesCheckBox"));
    EXPECT_FALSE(skin_->checked("BackupCheckBox"));
    EXPECT_EQ(skin_->remembered, remembered_);  // loading wrote nothing
    EXPECT_TRUE(presenter_->operations().options.verifyWrites);
    skin_->tick("ReadMessagesCheckBox", true);
    EXPECT_TRUE(skin_->remembered.at("readMessages"));
    EXPECT_TRUE(presenter_->operations().options.readMessages);
}

// Help shows only with the help file and a viewer; what is set up is released at closing.
TEST_F(Window, HelpNeedsItsFileAndAViewer) {
    ASSERT_TRUE(DiskFileAccess().write(folder_ / kHelpFileName, {1}));
    for (const bool viewer : {false, true}) {
        helpViewer_ = viewer;
        open();
        EXPECT_EQ(skin_->visible("HelpButton"), viewer);
        EXPECT_EQ(skin_->help.initialized, viewer ? 1 : 0);
        presenter_->HelpButtonClick();
        EXPECT_EQ(skin_->help.shown.size(), viewer ? 1u : 0u);
        if (viewer) {
            EXPECT_EQ(skin_->help.shown[0], (folder_ / kHelpFileName).lexically_normal());
        }
        presenter_->ExitButtonClick();
        EXPECT_TRUE(skin_->closed);
        EXPECT_EQ(skin_->help.closedAll, viewer ? 1 : 0);
        EXPECT_EQ(skin_->help.uninitialized, viewer ? 1 : 0);
        EXPECT_FALSE(skin_->help.loaded);
    }
}

}  // namespace
}  // namespace qb::test
