#include "config/DataFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/ConfigTransfer.h"
#include "tests/config/Fakes.h"
#include "tests/config/TestData.h"
#include "tests/support/FakeSink.h"
#include "tests/support/FakeView.h"

namespace qb {
namespace {

using test::FakeChooser;
using test::FakeFileAccess;
using test::FakeSink;
using test::FakeView;
using test::ReadWholeFile;
using test::ScratchFolder;
using test::WriteWholeFile;

std::vector<std::uint8_t> GoldenDefault() {
    const auto bytes = ReadWholeFile(std::filesystem::path(QB_GOLDEN_DIR) / "default.dat");
    EXPECT_EQ(bytes.size(), 1087u) << "golden file missing or damaged";
    return bytes;
}

void SetVersion(std::vector<std::uint8_t>& file, std::int32_t version) {
    const auto v = static_cast<std::uint32_t>(version);
    for (int i = 0; i < 4; ++i) file[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A window with the defaults shown, a few things edited, and its store.
struct Window {
    ConfigStore store;
    FakeView view;
    FakeSink sink;
    FakeChooser chooser;

    Window() { store.SetDefaultConfig(view); }

    void Edit() {
        view.messages[0] = u"first\\0D\\0A";
        view.messages[15] = u"last key \u00E9";
        view.legends[3] = u"Z";
        view.columns[2] = 7;
        view.setBaudIndex(6);
        view.check(RadioButton::EvenParity);
        view.check(RadioButton::StopBit2);
    }
    bool Changed() {
        PackConfig(view, store.Config);
        return store.ConfigChanged();
    }
};

// Everything a failed or cancelled load must leave alone.
struct Snapshot {
    explicit Snapshot(const Window& w)
        : config(w.store.Config), saved(w.store.SavedConfig), messages(w.view.messages), legends(w.view.legends) {}
    void ExpectSame(const Window& w) const {
        EXPECT_EQ(w.store.Config.Settings, config.Settings);
        EXPECT_EQ(w.store.Config.Messages, config.Messages);
        EXPECT_EQ(w.store.SavedConfig.Settings, saved.Settings);
        EXPECT_EQ(w.store.SavedConfig.Messages, saved.Messages);
        EXPECT_EQ(w.view.messages, messages);
        EXPECT_EQ(w.view.legends, legends);
    }
    KeypadConfig config, saved;
    std::array<std::u16string, kKeyCount> messages, legends;
};

// ---- The format -----------------------------------------------------------------------------------------

TEST(DataFileFormat, SavedDefaultMatchesTheGoldenFile) {
    ScratchFolder folder;
    Window w;
    DiskFileAccess disk;
    w.chooser.answers.push_back(folder / "default.dat");
    ASSERT_TRUE(SaveDataFile(w.store, w.view, w.sink, w.chooser, disk));
    EXPECT_TRUE(w.sink.shown.empty());

    const auto saved = ReadWholeFile(folder / "default.dat");
    EXPECT_EQ(saved, GoldenDefault());
    ASSERT_EQ(saved.size(), 1087u);
    EXPECT_EQ(std::vector<std::uint8_t>(saved.begin(), saved.begin() + 4), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(std::string(saved.begin() + 4, saved.begin() + 29), std::string("VELMORA Quillanterbrooke", 25));
    // Nothing but the saved file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(DataFileFormat, EveryRecordByteHasItsPlace) {
    KeypadConfig c;
    for (std::size_t i = 0; i < kSettingsSize; ++i) c.Settings[i] = static_cast<std::uint8_t>(0x40 + i);
    for (std::size_t i = 0; i < kMessagesSize; ++i) c.Messages[i] = static_cast<std::uint8_t>(i * 13 + 1);
    const auto file = EncodeDataFile(c);
    ASSERT_EQ(file.size(), 1087u);
    for (std::size_t i = 0; i < kSettingsSize; ++i) EXPECT_EQ(file[36 + i], c.Settings[i]);
    EXPECT_TRUE(std::equal(c.Messages.begin(), c.Messages.end(), file.begin() + 63));
    EXPECT_TRUE(std::all_of(file.begin() + 29, file.begin() + 36, [](std::uint8_t b) { return b == 0; }));

    const DecodeResult back = DecodeDataFile(file.data(), file.size());
    ASSERT_TRUE(std::holds_alternative<KeypadConfig>(back));
    EXPECT_EQ(std::get<KeypadConfig>(back).Settings, c.Settings);
    EXPECT_EQ(std::get<KeypadConfig>(back).Messages, c.Messages);
}

// ---- Header checks --------------------------------------------------------------------------------------

std::u16string DecodeError(const std::vector<std::uint8_t>& file) {
    const DecodeResult r = DecodeDataFile(file.data(), file.size());
    return std::holds_alternative<std::u16string>(r) ? std::get<std::u16string>(r) : u"";
}

TEST(DataFileHeader, VersionsUpToOneLoadLaterOnesDoNot) {
    auto file = GoldenDefault();
    for (std::int32_t version : {1, 0, -1, INT32_MIN}) {
        SetVersion(file, version);
        EXPECT_EQ(DecodeError(file), u"") << version;
    }
    for (std::int32_t version : {2, 256, INT32_MAX}) {
        SetVersion(file, version);
        EXPECT_EQ(DecodeError(file), u"The file uses a later data format.\r\nCannot load") << version;
    }
}

TEST(DataFileHeader, NameIsCheckedFirstAndExactly) {
    const auto golden = GoldenDefault();
    const std::u16string incompatible = u"Incompatible data file.";

    auto wrongName = golden;
    wrongName[4] = 'v';
    SetVersion(wrongName, 2);
    EXPECT_EQ(DecodeError(wrongName), incompatible);

    auto longer = golden;  // one more character before the zero
    longer[28] = 'X';
    EXPECT_EQ(DecodeError(longer), incompatible);

    auto shorter = golden;
    shorter[27] = 0;
    EXPECT_EQ(DecodeError(shorter), incompatible);

    auto noZero = golden;  // the 32 name bytes hold no zero at all
    std::fill(noZero.begin() + 28, noZero.begin() + 36, 'Q');
    EXPECT_EQ(DecodeError(noZero), incompatible);

    auto garbage = golden;  // offsets 29..35 carry nothing
    for (std::size_t i = 29; i < 36; ++i) garbage[i] = static_cast<std::uint8_t>(0xF0 + i);
    EXPECT_EQ(DecodeError(garbage), u"");
}

TEST(DataFileHeader, ShortFilesAreRefused) {
    const auto golden = GoldenDefault();
    const std::u16string incompatible = u"Incompatible data file.";
    for (std::size_t size : {0, 3, 4, 28}) {
        const std::vector<std::uint8_t> cut(golden.begin(), golden.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(DecodeError(cut), incompatible) << size;
    }
    // The header passes, but the blocks are incomplete.
    for (std::size_t size : {29, 36, 63, 100, 1086}) {
        const std::vector<std::uint8_t> cut(golden.begin(), golden.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(DecodeError(cut), incompatible) << size;
    }
    // A later version is reported as such, however short the rest.
    std::vector<std::uint8_t> later(golden.begin(), golden.begin() + 29);
    SetVersion(later, 2);
    EXPECT_EQ(DecodeError(later), u"The file uses a later data format.\r\nCannot load");
}

// ---- Load -----------------------------------------------------------------------------------------------

TEST(LoadDataFile, RefusedFilesChangeNothing) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::u16string message;
    };
    auto later = GoldenDefault();
    SetVersion(later, 2);
    auto foreign = GoldenDefault();
    foreign[10] = '-';
    SetVersion(foreign, 2);
    auto truncated = GoldenDefault();
    truncated.resize(700);
    const Case cases[] = {
        {"later version", later, u"The file uses a later data format.\r\nCannot load"},
        {"foreign name", foreign, u"Incompatible data file."},
        {"truncated", truncated, u"Incompatible data file."},
        {"empty", {}, u"Incompatible data file."},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        WriteWholeFile(folder / "f.dat", c.bytes);
        Window w;
        w.Edit();
        PackConfig(w.view, w.store.Config);
        const Snapshot before(w);
        DiskFileAccess disk;
        w.chooser.answers.push_back(folder / "f.dat");
        EXPECT_FALSE(LoadDataFile(w.store, w.view, w.sink, w.chooser, disk)) << c.what;
        EXPECT_EQ(w.sink.errors(), std::vector<std::u16string>{c.message}) << c.what;
        before.ExpectSame(w);
    }
}

TEST(LoadDataFile, UnreadableFileShowsErrorOpeningFile) {
    ScratchFolder folder;
    Window w;
    const Snapshot before(w);
    DiskFileAccess disk;
    w.chooser.answers.push_back(folder / "missing.dat");
    w.chooser.answers.push_back(folder.path());  // a folder, not a file
    EXPECT_FALSE(LoadDataFile(w.store, w.view, w.sink, w.chooser, disk));
    EXPECT_FALSE(LoadDataFile(w.store, w.view, w.sink, w.chooser, disk));
    EXPECT_EQ(w.sink.errors(), (std::vector<std::u16string>{u"Error Opening File.", u"Error Opening File."}));
    before.ExpectSame(w);

    FakeFileAccess broken;
    broken.failOpen = true;
    broken.files["x.dat"] = GoldenDefault();
    w.chooser.answers.push_back("x.dat");
    EXPECT_FALSE(LoadDataFile(w.store, w.view, w.sink, w.chooser, broken));
    EXPECT_EQ(w.sink.errors().size(), 3u);
    before.ExpectSame(w);
}

TEST(LoadDataFile, CancelChangesAndShowsNothing) {
    Window w;
    w.Edit();
    const Snapshot before(w);
    FakeFileAccess files;
    EXPECT_FALSE(LoadDataFile(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_EQ(w.chooser.openCalls, 1);
    EXPECT_TRUE(w.sink.shown.empty());
    before.ExpectSame(w);
}

TEST(LoadDataFile, ReplacesUnsavedChangesWithoutAskingAndCountsAsSaved) {
    ScratchFolder folder;
    const auto path = folder / "default.dat";
    WriteWholeFile(path, GoldenDefault());

    Window w;
    w.Edit();
    w.store.Config.Messages.fill(0x33);  // also the bytes after the terminators
    ASSERT_TRUE(w.Changed());
    DiskFileAccess disk;
    w.chooser.answers.push_back(path);
    ASSERT_TRUE(LoadDataFile(w.store, w.view, w.sink, w.chooser, disk));
    EXPECT_TRUE(w.sink.shown.empty());

    // The record is replaced whole, the window shows it, and it counts as unchanged.
    EXPECT_TRUE(
        std::equal(w.store.Config.Messages.begin(), w.store.Config.Messages.end(), GoldenDefault().begin() + 63));
    EXPECT_EQ(w.view.messages[0], u"1");
    EXPECT_EQ(w.view.messages[15], u"D");
    EXPECT_EQ(w.view.legends[3], u"A");
    EXPECT_EQ(w.view.labels[3], u"A");
    EXPECT_EQ(w.view.columns[2], 3);
    EXPECT_EQ(w.view.baud, 4);
    EXPECT_EQ(w.view.parityButton(), RadioButton::NoParity);
    EXPECT_TRUE(w.view.isChecked(RadioButton::StopBit1));
    EXPECT_FALSE(w.Changed());
}

TEST(LoadDataFile, OldVersionsGarbageInTheHeaderAndExtraBytesLoad) {
    ScratchFolder folder;
    auto file = GoldenDefault();
    file[63] = 'V';  // slot 0
    for (std::size_t i = 29; i < 36; ++i) file[i] = 0xA5;
    file.resize(1500, 0xBB);
    DiskFileAccess disk;
    for (std::int32_t version : {0, -1}) {
        SetVersion(file, version);
        WriteWholeFile(folder / "old.dat", file);
        Window w;
        w.chooser.answers.push_back(folder / "old.dat");
        EXPECT_TRUE(LoadDataFile(w.store, w.view, w.sink, w.chooser, disk)) << version;
        EXPECT_TRUE(w.sink.shown.empty());
        EXPECT_EQ(w.view.messages[0], u"V");
        EXPECT_FALSE(w.Changed());
    }

    // Only the bytes of the format are asked for.
    FakeFileAccess files;
    files.files["big.dat"] = file;
    Window w;
    w.chooser.answers.push_back("big.dat");
    EXPECT_TRUE(LoadDataFile(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_EQ(files.lastMaxBytes, 1087u);
}

TEST(LoadDataFile, SlotWithoutZeroLoadsCutAt63Bytes) {
    auto file = GoldenDefault();
    std::fill(file.begin() + 63, file.begin() + 63 + 64, 'w');  // slot 0 (key 1)
    FakeFileAccess files;
    files.files["odd.dat"] = file;
    Window w;
    w.chooser.answers.push_back("odd.dat");
    ASSERT_TRUE(LoadDataFile(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_EQ(w.view.messages[0], std::u16string(63, u'w'));
    EXPECT_EQ(w.view.messages[4], u"4");  // slot 1 (key 4) is not run into
    // Packing writes the terminator at byte 63; the text is the same, so nothing counts as changed.
    EXPECT_FALSE(w.Changed());
    EXPECT_EQ(w.store.Config.Messages[63], 0);
}

// ---- Save -----------------------------------------------------------------------------------------------

TEST(SaveDataFile, RoundTripShowsTheSameConfigurationUnchanged) {
    ScratchFolder folder;
    const auto path = folder / "edited.dat";
    DiskFileAccess disk;

    Window saver;
    saver.Edit();
    ASSERT_TRUE(saver.Changed());
    saver.chooser.answers.push_back(path);
    ASSERT_TRUE(SaveDataFile(saver.store, saver.view, saver.sink, saver.chooser, disk));
    EXPECT_FALSE(saver.Changed());
    EXPECT_EQ(std::filesystem::file_size(path), 1087u);

    Window loader;
    loader.chooser.answers.push_back(path);
    ASSERT_TRUE(LoadDataFile(loader.store, loader.view, loader.sink, loader.chooser, disk));
    EXPECT_EQ(loader.view.messages, saver.view.messages);
    EXPECT_EQ(loader.view.legends, saver.view.legends);
    EXPECT_EQ(loader.view.columns, saver.view.columns);
    EXPECT_EQ(loader.view.rows, saver.view.rows);
    EXPECT_EQ(loader.view.baud, saver.view.baud);
    EXPECT_EQ(loader.view.checked, saver.view.checked);
    EXPECT_EQ(loader.store.Config.Messages, saver.store.Config.Messages);

    // Closing right after the load asks nothing.
    EXPECT_TRUE(QueryClose(loader.store, loader.view, loader.sink, loader.chooser, disk));
    EXPECT_TRUE(loader.sink.shown.empty());
}

TEST(SaveDataFile, CancelPacksButDoesNotCountAsSaved) {
    Window w;
    w.Edit();
    const KeypadConfig savedBefore = w.store.SavedConfig;
    FakeFileAccess files;
    EXPECT_FALSE(SaveDataFile(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_EQ(w.chooser.saveCalls, 1);
    EXPECT_TRUE(w.sink.shown.empty());
    EXPECT_EQ(files.writes, 0);
    EXPECT_EQ(w.store.Config.Settings[kStopBitsOffset], 2);  // packed before the dialog
    EXPECT_EQ(w.store.SavedConfig.Settings, savedBefore.Settings);
    EXPECT_TRUE(w.store.ConfigChanged());
}

TEST(SaveDataFile, ReplacesAnExistingFileWithoutAsking) {
    ScratchFolder folder;
    const auto path = folder / "old.dat";
    WriteWholeFile(path, std::vector<std::uint8_t>(5000, 0x99));
    Window w;
    DiskFileAccess disk;
    w.chooser.answers.push_back(path);
    ASSERT_TRUE(SaveDataFile(w.store, w.view, w.sink, w.chooser, disk));
    EXPECT_TRUE(w.sink.shown.empty());
    EXPECT_EQ(ReadWholeFile(path), GoldenDefault());
}

TEST(SaveDataFile, FailedWriteKeepsTheChangesUnsaved) {
    Window w;
    w.Edit();
    FakeFileAccess files;
    files.failAfterBytes = 100;
    w.chooser.answers.push_back("part.dat");
    EXPECT_FALSE(SaveDataFile(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_EQ(w.sink.errors(), std::vector<std::u16string>{u"Error Saving File."});
    EXPECT_TRUE(w.store.ConfigChanged());

    FakeFileAccess refusing;
    refusing.failOpen = true;
    w.chooser.answers.push_back("none.dat");
    EXPECT_FALSE(SaveDataFile(w.store, w.view, w.sink, w.chooser, refusing));
    EXPECT_EQ(w.sink.errors().size(), 2u);
    EXPECT_TRUE(w.store.ConfigChanged());
}

TEST(SaveDataFile, FailedDiskWriteLeavesTheOldFileIntact) {
    ScratchFolder folder;
    const auto path = folder / "keep.dat";
    const std::vector<std::uint8_t> old(1087, 0x42);
    WriteWholeFile(path, old);
    // Block the temporary file beside the target with a folder of that name.
    auto temp = path;
    temp += ".tmp~";
    std::filesystem::create_directory(temp);

    Window w;
    w.Edit();
    DiskFileAccess disk;
    w.chooser.answers.push_back(path);
    EXPECT_FALSE(SaveDataFile(w.store, w.view, w.sink, w.chooser, disk));
    EXPECT_EQ(w.sink.errors(), std::vector<std::u16string>{u"Error Saving File."});
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_TRUE(w.store.ConfigChanged());
}

TEST(DiskFileAccess, WriteFailuresLeaveNothingBehind) {
    ScratchFolder folder;
    DiskFileAccess disk;
    const std::vector<std::uint8_t> bytes(1087, 7);

    EXPECT_FALSE(disk.write(folder / "no-such-folder" / "x.dat", bytes));

    // A folder cannot be replaced by a file; the folder and its contents stay.
    std::filesystem::create_directory(folder / "taken.dat");
    WriteWholeFile(folder / "taken.dat" / "inner", {1, 2, 3});
    EXPECT_FALSE(disk.write(folder / "taken.dat", bytes));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.dat"));
    EXPECT_EQ(ReadWholeFile(folder / "taken.dat" / "inner"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);

    ASSERT_TRUE(disk.write(folder / "ok.dat", bytes));
    EXPECT_EQ(ReadWholeFile(folder / "ok.dat"), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

TEST(DiskFileAccess, ReadsAtMostTheBytesAskedFor) {
    ScratchFolder folder;
    DiskFileAccess disk;
    std::vector<std::uint8_t> bytes(3000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    WriteWholeFile(folder / "big", bytes);
    WriteWholeFile(folder / "empty", {});

    const auto head = disk.read(folder / "big", 1087);
    ASSERT_TRUE(head);
    EXPECT_EQ(*head, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 1087));
    const auto all = disk.read(folder / "big", 5000);
    ASSERT_TRUE(all);
    EXPECT_EQ(*all, bytes);
    const auto empty = disk.read(folder / "empty", 1087);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(disk.read(folder / "missing", 1087));
}

// ---- Closing the window ---------------------------------------------------------------------------------

TEST(QueryClose, UnchangedClosesWithoutAsking) {
    Window w;
    FakeFileAccess files;
    EXPECT_TRUE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_TRUE(w.sink.shown.empty());

    // Changed and changed back in the window before closing.
    w.view.messages[2] = u"something else";
    w.view.messages[2] = u"3";
    EXPECT_TRUE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
    EXPECT_TRUE(w.sink.shown.empty());
}

TEST(QueryClose, ChangedAsksAndFollowsTheAnswer) {
    const std::u16string question = u"Data has changed\nSave now?";
    {
        Window w;
        w.Edit();
        FakeFileAccess files;
        w.sink.answers = {Answer::Cancel};
        EXPECT_FALSE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
        EXPECT_EQ(w.sink.questions(), std::vector<std::u16string>{question});
        EXPECT_EQ(w.chooser.saveCalls, 0);
    }
    {
        Window w;
        w.Edit();
        FakeFileAccess files;
        w.sink.answers = {Answer::No};
        EXPECT_TRUE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
        EXPECT_EQ(w.chooser.saveCalls, 0);
        EXPECT_EQ(files.writes, 0);
    }
    {
        Window w;  // Yes, then the save dialog is cancelled: the changes would be lost, so stay open
        w.Edit();
        FakeFileAccess files;
        w.sink.answers = {Answer::Yes};
        EXPECT_FALSE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
        EXPECT_EQ(w.chooser.saveCalls, 1);
        EXPECT_TRUE(w.store.ConfigChanged());
    }
    {
        Window w;  // Yes, and the save fails
        w.Edit();
        FakeFileAccess files;
        files.failAfterBytes = 0;
        w.sink.answers = {Answer::Yes};
        w.chooser.answers.push_back("x.dat");
        EXPECT_FALSE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
        EXPECT_EQ(w.sink.errors(), std::vector<std::u16string>{u"Error Saving File."});
    }
    {
        Window w;  // Yes, and the save succeeds
        w.Edit();
        FakeFileAccess files;
        w.sink.answers = {Answer::Yes};
        w.chooser.answers.push_back("x.dat");
        EXPECT_TRUE(QueryClose(w.store, w.view, w.sink, w.chooser, files));
        EXPECT_FALSE(w.store.ConfigChanged());
        ASSERT_EQ(files.files.count("x.dat"), 1u);
        EXPECT_EQ(files.files["x.dat"], EncodeDataFile(w.store.Config));
        EXPECT_EQ(files.files["x.dat"][63], 'f');
    }
}

}  // namespace
}  // namespace qb
