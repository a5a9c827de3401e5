#include "config/DataFile.h"

#include <gtest/gtest.h>

#include <tuple>

#include "config/ConfigTransfer.h"
#include "tests/config/Fakes.h"
#include "tests/support/FakeSink.h"
#include "tests/support/FakeView.h"

namespace qb {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;
const std::u16string kIncompatible = u"Incompatible data file.";
const std::u16string kLater = u"The file uses a later data format.\r\nCannot load";
const std::u16string kSaveError = u"Error Saving File.";

// The golden default file with another version number, cut or lengthened.
Bytes Golden(std::int32_t version = 1, std::size_t size = 1087) {
    Bytes bytes = ReadWholeFile(Path(QB_GOLDEN_DIR) / "default.dat");
    EXPECT_EQ(bytes.size(), 1087u) << "golden file missing or damaged";
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(version) >> (8 * i));
    bytes.resize(size, 0xBB);
    return bytes;
}

Bytes With(Bytes file, std::size_t from, std::size_t to, std::uint8_t value) {
    std::fill(file.begin() + from, file.begin() + to, value);
    return file;
}

std::u16string DecodeError(const Bytes& file) {
    const DecodeResult r = DecodeDataFile(file.data(), file.size());
    return std::holds_alternative<std::u16string>(r) ? std::get<std::u16string>(r) : u"";
}

// A window with the defaults shown, and its store.
struct Window {
    ConfigStore store;
    FakeView view;
    FakeSink sink;
    FakeChooser chooser;

    Window() { store.SetDefaultConfig(view); }
    void Edit() {
        view.messages[0] = u"first\\0D\\0A";
        view.messages[15] = u"last key \u00E9";
        view.setLegendText(3, u"Z");
        view.columns[2] = 7;
        view.setBaudIndex(6);
        view.check(RadioButton::EvenParity);
        view.check(RadioButton::StopBit2);
        PackConfig(view, store.Config);
    }
    bool Changed() {
        PackConfig(view, store.Config);
        return store.ConfigChanged();
    }
    bool Load(FileAccess& files) { return LoadDataFile(store, view, sink, chooser, files); }
    bool Save(FileAccess& files) { return SaveDataFile(store, view, sink, chooser, files); }
    bool Close(FileAccess& files) { return QueryClose(store, view, sink, chooser, files); }
    auto Shown() const {
        return std::tuple(view.messages, view.legends, view.labels, view.columns, view.rows, view.baud, view.checked);
    }
    // Everything a failed or cancelled load must leave alone.
    auto State() const {
        return std::tuple_cat(std::tuple(store.Config.Settings, store.Config.Messages, store.SavedConfig.Settings,
                                         store.SavedConfig.Messages),
                              Shown());
    }
};

TEST(DataFileHeader, NameThenVersionThenSizeDecide) {
    for (std::int32_t version : {1, 0, -1, INT32_MIN}) EXPECT_EQ(DecodeError(Golden(version)), u"") << version;
    for (std::int32_t version : {2, 256, INT32_MAX}) EXPECT_EQ(DecodeError(Golden(version)), kLater) << version;
    EXPECT_EQ(DecodeError(With(Golden(2), 4, 5, 'v')), kIncompatible);   // the name is checked first
    EXPECT_EQ(DecodeError(With(Golden(), 28, 29, 'X')), kIncompatible);  // one more character before the zero
    EXPECT_EQ(DecodeError(With(Golden(), 27, 28, 0)), kIncompatible);
    EXPECT_EQ(DecodeError(With(Golden(), 28, 36, 'Q')), kIncompatible);  // no zero in the 32 name bytes
    EXPECT_EQ(DecodeError(With(Golden(), 29, 36, 0xA5)), u"");           // offsets 29..35 carry nothing
    // Too short for the header, or the header passes but the blocks are incomplete; longer files load.
    for (std::size_t size : {0, 3, 28, 29, 36, 63, 1086})
        EXPECT_EQ(DecodeError(Golden(1, size)), kIncompatible) << size;
    EXPECT_EQ(DecodeError(Golden(2, 29)), kLater);  // a later version however short the rest
    EXPECT_EQ(DecodeError(Golden(1, 1500)), u"");
}

TEST(LoadDataFile, CancelledRefusedOrUnreadableFilesChangeNothing) {
    ScratchFolder folder;
    WriteWholeFile(folder / "later.dat", Golden(2));
    WriteWholeFile(folder / "foreign.dat", With(Golden(2), 10, 11, '-'));
    WriteWholeFile(folder / "short.dat", Golden(1, 700));
    WriteWholeFile(folder / "empty.dat", {});
    const std::pair<std::optional<Path>, std::u16string> cases[] = {
        {std::nullopt, u""},
        {folder / "later.dat", kLater},
        {folder / "foreign.dat", kIncompatible},
        {folder / "short.dat", kIncompatible},
        {folder / "empty.dat", kIncompatible},
        {folder / "missing.dat", u"Error Opening File."},
        {folder.path(), u"Error Opening File."}};  // a folder, not a file
    for (const auto& [path, error] : cases) {
        Window w;
        w.Edit();
        const auto before = w.State();
        w.chooser.answers.push_back(path);
        DiskFileAccess disk;
        EXPECT_FALSE(w.Load(disk));
        EXPECT_EQ(w.sink.errors(), error.empty() ? std::vector<std::u16string>{} : std::vector{error});
        EXPECT_EQ(w.sink.shown.size(), w.sink.errors().size());
        EXPECT_TRUE(w.State() == before) << (path ? path->string() : "cancelled");
    }
}

TEST(LoadDataFile, ReplacesUnsavedChangesWithoutAskingAndCountsAsSaved) {
    ScratchFolder folder;
    DiskFileAccess disk;
    for (std::int32_t version : {0, -1}) {
        // Garbage in the header, bytes after the format, and slot 0 (key 1) without a zero.
        const Bytes file = With(With(Golden(version, 1500), 29, 36, 0xA5), 63, 127, 'w');
        WriteWholeFile(folder / "old.dat", file);
        Window w;
        w.Edit();
        w.store.Config.Messages.fill(0x33);  // also the bytes after the terminators
        w.chooser.answers.push_back(folder / "old.dat");
        ASSERT_TRUE(w.Load(disk)) << version;
        EXPECT_TRUE(w.sink.shown.empty());
        EXPECT_TRUE(std::equal(w.store.Config.Messages.begin(), w.store.Config.Messages.end(), file.begin() + 63));
        Window shown;  // the defaults, but key 1's text cut at 63 bytes, not running into slot 1 (key 4)
        shown.view.messages[0] = std::u16string(63, u'w');
        EXPECT_TRUE(w.Shown() == shown.Shown());
        EXPECT_FALSE(w.Changed());  // packing puts a terminator at byte 63: the same text
        EXPECT_EQ(w.store.Config.Messages[63], 0);
    }
}

TEST(SaveDataFile, DefaultMatchesTheGoldenFileAndReplacesAnOldFileWithoutAsking) {
    ScratchFolder folder;
    WriteWholeFile(folder / "default.dat", Bytes(5000, 0x99));
    Window w;
    DiskFileAccess disk;
    w.chooser.answers.push_back(folder / "default.dat");
    ASSERT_TRUE(w.Save(disk));
    EXPECT_TRUE(w.sink.shown.empty());
    EXPECT_EQ(ReadWholeFile(folder / "default.dat"), Golden());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);  // no temporary file left
}

TEST(SaveDataFile, RoundTripShowsTheSameConfigurationUnchanged) {
    ScratchFolder folder;
    DiskFileAccess disk;
    Window saver;
    saver.Edit();
    ASSERT_TRUE(saver.Changed());
    saver.chooser.answers.push_back(folder / "edited.dat");
    ASSERT_TRUE(saver.Save(disk));
    EXPECT_FALSE(saver.Changed());

    Window loader;
    loader.chooser.answers.push_back(folder / "edited.dat");
    ASSERT_TRUE(loader.Load(disk));
    EXPECT_TRUE(loader.State() == saver.State());
    EXPECT_TRUE(loader.Close(disk));  // closing right after the load asks nothing
    EXPECT_TRUE(loader.sink.shown.empty());
}

TEST(SaveDataFile, CancelledOrFailedSaveKeepsTheChangesUnsavedAndTheOldFile) {
    ScratchFolder folder;
    const Bytes old(1087, 0x42);
    WriteWholeFile(folder / "keep.dat", old);
    std::filesystem::create_directories(folder / "keep.dat.tmp~" / "x");  // blocks the temporary file
    std::filesystem::create_directories(folder / "taken.dat" / "x");      // a folder cannot become a file
    DiskFileAccess disk;
    FakeFileAccess fake;
    fake.failAfterBytes = 100;
    const std::pair<FileAccess*, std::optional<Path>> cases[] = {{&fake, std::nullopt},
                                                                 {&fake, "part.dat"},
                                                                 {&disk, folder / "keep.dat"},
                                                                 {&disk, folder / "taken.dat"},
                                                                 {&disk, folder / "no-such-folder" / "x.dat"}};
    for (const auto& [files, path] : cases) {
        Window w;
        w.Edit();
        w.store.Config = w.store.SavedConfig;
        w.chooser.answers.push_back(path);
        EXPECT_FALSE(w.Save(*files));
        EXPECT_EQ(w.sink.errors(), path ? std::vector{kSaveError} : std::vector<std::u16string>{});
        EXPECT_EQ(w.sink.shown.size(), w.sink.errors().size());
        EXPECT_TRUE(w.store.ConfigChanged());  // packed before the dialog, and not marked saved
    }
    EXPECT_EQ(fake.writes, 1);
    EXPECT_EQ(ReadWholeFile(folder / "keep.dat"), old);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.dat" / "x"));
    EXPECT_FALSE(std::filesystem::exists(folder / "taken.dat.tmp~"));
}

TEST(QueryClose, AsksOnlyWhenChangedAndFollowsTheAnswer) {
    Window unchanged;
    FakeFileAccess none;
    EXPECT_TRUE(unchanged.Close(none));
    EXPECT_TRUE(unchanged.sink.shown.empty());
    struct Case {
        Answer answer;
        bool fileChosen, writeFails, closes;
    } const cases[] = {{Answer::Cancel, true, false, false},
                       {Answer::No, true, false, true},
                       {Answer::Yes, false, false, false},
                       {Answer::Yes, true, true, false},
                       {Answer::Yes, true, false, true}};
    for (const Case& c : cases) {
        Window w;
        w.Edit();
        FakeFileAccess files;
        if (c.writeFails) files.failAfterBytes = 0;
        w.sink.answers = {c.answer};
        if (c.fileChosen) w.chooser.answers.push_back("x.dat");
        EXPECT_EQ(w.Close(files), c.closes);
        EXPECT_EQ(w.sink.questions(), std::vector<std::u16string>{u"Data has changed\nSave now?"});
        EXPECT_EQ(w.sink.errors(), c.writeFails ? std::vector{kSaveError} : std::vector<std::u16string>{});
        EXPECT_EQ(w.chooser.saveCalls, c.answer == Answer::Yes ? 1 : 0);
        const bool saved = c.answer == Answer::Yes && c.closes;
        EXPECT_EQ(w.store.ConfigChanged(), !saved);
        EXPECT_EQ(files.files["x.dat"] == EncodeDataFile(w.store.Config), saved);
    }
}

}  // namespace
}  // namespace qb
