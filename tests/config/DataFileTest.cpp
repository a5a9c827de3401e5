#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/FileFlows.h"

#include <gtest/gtest.h>

#ifndef _WIN32  // FIFOs, permissions and users
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>

#include "config/ConfigTransfer.h"
#include "config/MemoryConfigView.h"
#include "tests/support/FakeSink.h"
#include "tests/support/ScratchFolder.h"

namespace qb {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;
using Path = std::filesystem::path;
const std::u16string kIncompatible = u"Incompatible data file.";
const std::u16string kLater = u"The file uses a later data format.\r\nCannot load";
const std::u16string kSaveError = u"Error Saving File.";
const std::u16string kOpenError = u"Error Opening File.";

Bytes ReadFile(const Path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const Path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The golden default file with another version number, cut or lengthened.
Bytes Golden(std::int32_t version = 1, std::size_t size = 1087) {
    Bytes bytes = ReadFile(Path(QB_GOLDEN_DIR) / "default.dat");
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

// A window with the defaults shown, its store, and file dialogs that answer `chosen`.
struct Window : FileChooser {
    ConfigStore store;
    MemoryConfigView view;
    FakeSink sink;
    DiskFileAccess disk;
    std::optional<Path> chosen;

    Window() { store.SetDefaultConfig(view); }
    std::optional<Path> chooseFileToOpen() override { return chosen; }
    std::optional<Path> chooseFileToSave() override { return chosen; }
    void Edit() {
        view.messages[15] = u"last key \u00E9";
        view.setLegendText(3, u"Z");
        view.columns[2] = 7;
        view.check(RadioButton::EvenParity);
        PackConfig(view, store.Config);
    }
    bool Changed() {
        PackConfig(view, store.Config);
        return store.ConfigChanged();
    }
    bool Load() { return LoadDataFile(store, view, sink, *this, disk); }
    bool Save() { return SaveDataFile(store, view, sink, *this, disk); }
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
    for (std::int32_t version : {0, -1}) EXPECT_EQ(DecodeError(Golden(version)), u"") << version;
    for (std::int32_t version : {2, INT32_MAX}) EXPECT_EQ(DecodeError(Golden(version)), kLater) << version;
    EXPECT_EQ(DecodeError(With(Golden(2), 4, 5, 'v')), kIncompatible);   // the name is checked first
    EXPECT_EQ(DecodeError(With(Golden(), 28, 29, 'X')), kIncompatible);  // one more character before the zero
    EXPECT_EQ(DecodeError(With(Golden(), 27, 28, 0)), kIncompatible);
    EXPECT_EQ(DecodeError(With(Golden(), 28, 36, 'Q')), kIncompatible);  // no zero in the 32 name bytes
    EXPECT_EQ(DecodeError(With(Golden(), 29, 36, 0xA5)), u"");           // offsets 29..35 carry nothing
    // Too short for the header, or the header passes but the blocks are incomplete.
    for (std::size_t size : {0, 28, 29, 63, 1086}) EXPECT_EQ(DecodeError(Golden(1, size)), kIncompatible) << size;
    EXPECT_EQ(DecodeError(Golden(2, 29)), kLater);  // a later version however short the rest
}

TEST(LoadDataFile, CancelledRefusedOrUnreadableFilesChangeNothing) {
    ScratchFolder folder;
    WriteFile(folder / "short.dat", Golden(1, 700));
    std::vector<std::pair<std::optional<Path>, std::u16string>> cases = {
        {std::nullopt, u""},
        {folder / "short.dat", kIncompatible},
        {folder / "missing.dat", kOpenError},
        {folder.path, kOpenError},   // a folder
        {"/dev/zero", kOpenError}};  // a device never ends
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder / "pipe.dat").c_str(), 0600), 0);  // would block a reader for ever
    cases.push_back({folder / "pipe.dat", kOpenError});
#endif
    for (const auto& [path, error] : cases) {
        Window w;
        w.Edit();
        const auto before = w.State();
        w.chosen = path;
        EXPECT_FALSE(w.Load());
        EXPECT_EQ(w.sink.errors(), error.empty() ? std::vector<std::u16string>{} : std::vector{error});
        EXPECT_TRUE(w.State() == before) << (path ? path->string() : "cancelled");
    }
}

TEST(LoadDataFile, ReplacesUnsavedChangesWithoutAskingAndCountsAsSaved) {
    // An old version, garbage in the header, bytes after the format, and slot 0 (key 1) without a zero.
    const Bytes file = With(With(Golden(-1, 1500), 29, 36, 0xA5), 63, 127, 'w');
    ScratchFolder folder;
    WriteFile(folder / "old.dat", file);
    Window w;
    w.Edit();
    w.store.Config.Messages.fill(0x33);  // also the bytes after the terminators
    w.chosen = folder / "old.dat";
    ASSERT_TRUE(w.Load());
    EXPECT_TRUE(std::equal(w.store.Config.Messages.begin(), w.store.Config.Messages.end(), file.begin() + 63));
    Window shown;  // the defaults, but key 1's text cut at 63 bytes, not running into slot 1 (key 4)
    shown.view.messages[0] = std::u16string(63, u'w');
    EXPECT_TRUE(w.Shown() == shown.Shown());
    EXPECT_FALSE(w.Changed());  // packing puts a terminator at byte 63: the same text
}

// Saved over an old file without asking; an edited configuration saved, counted as saved and loaded into another
// window shows the same.
TEST(SaveDataFile, DefaultMatchesTheGoldenFileAndEditsRoundTripUnchanged) {
    ScratchFolder folder;
    WriteFile(folder / "default.dat", Bytes(5000, 0x99));
    Window w;
    Window loader;
    w.chosen = loader.chosen = folder / "default.dat";
    ASSERT_TRUE(w.Save());
    EXPECT_TRUE(w.sink.shown.empty());
    EXPECT_EQ(ReadFile(folder / "default.dat"), Golden());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1);  // no temporary file left

    w.Edit();
    ASSERT_TRUE(w.Save());
    EXPECT_FALSE(w.Changed());
    ASSERT_TRUE(loader.Load());
    EXPECT_TRUE(loader.State() == w.State());
}

TEST(SaveDataFile, CancelledOrRefusedSaveKeepsTheChangesUnsavedAndWhatStoodThere) {
    ScratchFolder folder;
    std::filesystem::create_directories(folder / "taken.dat" / "x");  // a folder cannot become a file
    std::vector<std::optional<Path>> cases = {std::nullopt, folder / "taken.dat"};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder / "pipe.dat").c_str(), 0600), 0);
    cases.push_back(folder / "pipe.dat");
#endif
    for (const std::optional<Path>& path : cases) {
        Window w;
        w.Edit();
        w.store.Config = w.store.SavedConfig;
        w.chosen = path;
        EXPECT_FALSE(w.Save());
        EXPECT_EQ(w.sink.errors(), path ? std::vector{kSaveError} : std::vector<std::u16string>{});
        EXPECT_TRUE(w.store.ConfigChanged());  // packed before the dialog, and not marked saved
    }
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::is_fifo(folder / "pipe.dat"));
#endif
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.dat"));
}

#ifndef _WIN32

// Runs `check` in a child process as an ordinary user (nobody) when the tests run as root, who may write
// anything; as an ordinary user, in this process. True if `check` returned true.
bool AsOrdinaryUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child == 0) _exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

mode_t Mode(const Path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

#endif

TEST(DiskFileAccess, ReplacesThroughLinksKeepingPermissionsAndEveryOtherFile) {
    ScratchFolder folder;
    DiskFileAccess disk;
    std::size_t expectedFiles = 1;  // shared.dat, below
#ifndef _WIN32                      // symbolic links, permissions and 255-byte names
    const Bytes data(1087, 0x5A);
    std::filesystem::create_directories(folder / "real");
    WriteFile(folder / "real" / "target.dat", Bytes(3, 1));
    std::filesystem::create_symlink("real/target.dat", folder / "link.dat");
    std::filesystem::create_symlink("real/new.dat", folder / "dangling.dat");
    WriteFile(folder / "private.dat", Bytes(3, 2));
    ::chmod((folder / "private.dat").c_str(), 0600);
    WriteFile(folder / "private.dat.tmp~", Bytes(3, 3));  // a file of the user's own, not a leftover of ours
    const std::string longest(255, 'n');

    for (const char* name : {"link.dat", "dangling.dat", "private.dat"}) EXPECT_TRUE(disk.write(folder / name, data));
    EXPECT_TRUE(disk.write(folder / longest, data));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.dat"));
    EXPECT_EQ(ReadFile(folder / "real" / "target.dat"), data);
    EXPECT_EQ(ReadFile(folder / "real" / "new.dat"), data);
    EXPECT_EQ(Mode(folder / "private.dat"), 0600);
    EXPECT_EQ(ReadFile(folder / "private.dat.tmp~"), Bytes(3, 3));
    EXPECT_EQ(ReadFile(folder / longest), data);
    expectedFiles += 5;
#endif

    // Two saves of one file at once: each complete, neither in the other's way.
    std::atomic<int> failures{0};
    const auto saver = [&](std::uint8_t fill) {
        for (int i = 0; i < 50; ++i) failures += !disk.write(folder / "shared.dat", Bytes(1087, fill));
    };
    std::thread one(saver, 0x11), two(saver, 0x22);
    one.join();
    two.join();
    EXPECT_EQ(failures, 0);
    const Bytes shared = ReadFile(folder / "shared.dat");
    EXPECT_TRUE(shared == Bytes(1087, 0x11) || shared == Bytes(1087, 0x22));

    std::size_t files = 0;  // no temporary file left behind
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path))
        files += entry.is_regular_file() && !entry.is_symlink();
    EXPECT_EQ(files, expectedFiles);
}

#ifndef _WIN32

TEST(DiskFileAccess, RefusesWhatThisUserMayNotWriteAndLeavesIt) {
    ScratchFolder folder;
    std::filesystem::create_directories(folder / "open");
    std::filesystem::create_directories(folder / "locked");
    ::chmod((folder / "open").c_str(), 0777);
    WriteFile(folder / "open" / "readonly.dat", Bytes(3, 1));
    ::chmod((folder / "open" / "readonly.dat").c_str(), 0444);
    WriteFile(folder / "locked" / "inside.dat", Bytes(3, 2));
    ::chmod((folder / "locked" / "inside.dat").c_str(), 0666);
    ::chmod((folder / "locked").c_str(), 0555);  // no temporary file can be made beside it
    EXPECT_TRUE(AsOrdinaryUser([&] {
        DiskFileAccess disk;
        return !disk.write(folder / "open" / "readonly.dat", Bytes(1087, 9)) &&
               !disk.write(folder / "locked" / "inside.dat", Bytes(1087, 9)) &&
               ReadFile(folder / "open" / "readonly.dat") == Bytes(3, 1) &&
               ReadFile(folder / "locked" / "inside.dat") == Bytes(3, 2);
    }));
    ::chmod((folder / "locked").c_str(), 0755);
}
#endif

// The close question and its answers: MainFormCloseTest, through the window.

}  // namespace
}  // namespace qb
