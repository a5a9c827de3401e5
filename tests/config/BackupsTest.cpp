// The backup store: names, what each backup holds, retention per device, and folders that cannot take one.
#include "config/Backups.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <nlohmann/json.hpp>

#include "config/DataFile.h"
#include "tests/support/ScratchFolder.h"

namespace qb {
namespace {

using namespace std::chrono;
using test::ScratchFolder;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// 2026-12-07 08:15:30.123 UTC
const system_clock::time_point kWhen = time_point_cast<system_clock::duration>(
    sys_days(year(2026) / 12 / 7) + hours(8) + minutes(15) + seconds(30) + milliseconds(123));

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

KeypadConfig Config(std::uint8_t baud) {
    KeypadConfig config;
    config.Settings = kDefaultSettings;
    config.Settings[kBaudCodeOffset] = baud;
    config.Messages.fill(0x41);
    return config;
}

std::vector<std::string> Names(const BackupList& list) {
    std::vector<std::string> names;
    for (const BackupEntry& entry : list.entries) names.push_back(entry.path.filename().string());
    return names;
}

TEST(Backups, NamedBySerialAndTimeUniqueWithinAMillisecond) {
    ScratchFolder folder;
    const fs::path dir = folder / "deep" / "backups";  // made when missing
    const BackupNote note{false, "1.02", "/dev/hidraw3"};

    const BackupSaved first = SaveBackup(dir, "AB-12 x", Config(4), note, kWhen);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.path, dir / "QB-AB_2D12_20x-20261207-081530-123.dat");
    const std::string bytes = ReadText(first.path);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), EncodeDataFile(Config(4)));
    const auto sidecar = nlohmann::json::parse(ReadText(dir / "QB-AB_2D12_20x-20261207-081530-123.json"));
    EXPECT_EQ(sidecar["serial"], "AB-12 x");
    EXPECT_EQ(sidecar["deviceVersion"], "1.02");
    EXPECT_EQ(sidecar["devicePath"], "/dev/hidraw3");
    EXPECT_EQ(sidecar["time"], "2026-12-07T08:15:30.123Z");
    EXPECT_EQ(sidecar["messages"], kMessagesNotReadText);

    // The same millisecond twice more, another device, no serial at all; and things that only look like backups.
    EXPECT_EQ(SaveBackup(dir, "AB-12 x", Config(5), {}, kWhen).path.filename(),
              "QB-AB_2D12_20x-20261207-081530-123-2.dat");
    std::ofstream(dir / "QB-AB_2D12_20x-20261207-081530-123-3.dat");  // a name taken by a backup being written
    EXPECT_EQ(SaveBackup(dir, "AB-12 x", Config(6), {}, kWhen).path.filename(),
              "QB-AB_2D12_20x-20261207-081530-123-4.dat");
    EXPECT_EQ(SaveBackup(dir, "", Config(1), {}, kWhen + hours(1)).path.filename(), "QB-_-20261207-091530-123.dat");
    std::ofstream(dir / "QB-AB-20261307-081530-123.dat") << std::string(kDataFileSize, 'x');  // month 13
    std::ofstream(dir / "notes.dat") << std::string(kDataFileSize, 'x');

    const BackupList all = ListBackups(dir);
    EXPECT_EQ(all.error, "");
    ASSERT_EQ(Names(all), (std::vector<std::string>{
                              "QB-_-20261207-091530-123.dat", "QB-AB_2D12_20x-20261207-081530-123-4.dat",
                              "QB-AB_2D12_20x-20261207-081530-123-2.dat", "QB-AB_2D12_20x-20261207-081530-123.dat"}));
    EXPECT_EQ(all.entries[0].serial, "");
    EXPECT_EQ(all.entries[3].serial, "AB-12 x");
    EXPECT_EQ(all.entries[3].time, kWhen);
    EXPECT_EQ(all.entries[3].messagesRead, false);
    EXPECT_EQ(all.entries[2].messagesRead, true);

    const BackupFound latest = LatestBackup(dir, "AB-12 x");
    ASSERT_TRUE(latest.entry);
    EXPECT_EQ(latest.entry->sequence, 4);
    EXPECT_FALSE(LatestBackup(dir, "nobody").entry);
    EXPECT_FALSE(LatestBackup(folder / "none").entry);
    EXPECT_EQ(LatestBackup(folder / "none").error, "");
}

// The 51st backup of a device removes its oldest, sidecar and all; other devices' files and the user's own stay,
// and a backup taken with the clock set back is kept all the same.
TEST(Backups, KeepsTheNewestFiftyOfEachDevice) {
    ScratchFolder folder;
    const fs::path dir = folder.path;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(SaveBackup(dir, "B", Config(1), {}, kWhen - hours(1 + i)).error, "");
    std::ofstream(dir / "mine.txt") << "keep";
    for (int i = 0; i < 50; ++i) ASSERT_EQ(SaveBackup(dir, "A", Config(2), {}, kWhen + seconds(i)).error, "");
    const fs::path oldest = ListBackups(dir, "A").entries.back().path;

    ASSERT_EQ(SaveBackup(dir, "A", Config(3), {}, kWhen + seconds(50)).error, "");
    const BackupList a = ListBackups(dir, "A");
    EXPECT_EQ(a.entries.size(), 50u);
    EXPECT_EQ(a.entries.back().time, kWhen + seconds(1));
    EXPECT_FALSE(fs::exists(oldest));
    EXPECT_FALSE(fs::exists(fs::path(oldest).replace_extension(".json")));
    EXPECT_EQ(ListBackups(dir, "B").entries.size(), 3u);
    EXPECT_TRUE(fs::exists(dir / "mine.txt"));

    const BackupSaved early = SaveBackup(dir, "A", Config(4), {}, kWhen - hours(24));
    EXPECT_TRUE(fs::exists(early.path));
    EXPECT_EQ(ListBackups(dir, "A").entries.size(), 50u);
    EXPECT_EQ(ListBackups(dir, "A").entries.front().time, kWhen + seconds(50));
}

#ifndef _WIN32

// Runs `check` as an ordinary user (nobody) in a child process when the tests run as root, who may write anywhere.
bool AsOrdinaryUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child == 0) _exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A folder that is a file, a FIFO or a device, one below a file, or one this user may not write: a clear error at
// once, and nothing written.
TEST(Backups, FoldersThatCannotTakeABackupSaySo) {
    ScratchFolder folder;
    std::ofstream(folder / "file") << "x";
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    for (const fs::path& dir : {folder / "file", folder / "fifo", fs::path("/dev/null")}) {
        EXPECT_EQ(SaveBackup(dir, "A", Config(4), {}).error,
                  "the backup folder " + dir.string() + " is no folder (a file or a device stands there)");
        EXPECT_EQ(ListBackups(dir).error, "the backup folder " + dir.string() + " is no folder");
    }
    const std::string below = SaveBackup(folder / "file" / "backups", "A", Config(4), {}).error;
    EXPECT_EQ(below.rfind("cannot make the backup folder " + (folder / "file" / "backups").string() + ": ", 0), 0u)
        << below;

    // A FIFO where the backup's name would go is passed over, never opened.
    fs::create_directories(folder / "dir");
    ASSERT_EQ(::mkfifo((folder / "dir" / "QB-A-20261207-081530-123.dat").c_str(), 0600), 0);
    EXPECT_EQ(SaveBackup(folder / "dir", "A", Config(4), {}, kWhen).path.filename(), "QB-A-20261207-081530-123-2.dat");

    fs::create_directories(folder / "locked");
    ::chmod(folder.path.c_str(), 0755);
    ::chmod((folder / "locked").c_str(), 0555);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        const BackupSaved saved = SaveBackup(folder / "locked", "A", Config(4), {});
        return saved.error ==
                   "cannot write in the backup folder " + (folder / "locked").string() + ": Permission denied" &&
               saved.path.empty();
    }));
    EXPECT_TRUE(fs::is_empty(folder / "locked"));
}

#ifndef __APPLE__
TEST(Backups, FolderChosenByEnvironment) {
    const auto keep = [](const char* name) {
        const char* value = std::getenv(name);
        return std::pair<std::string, std::optional<std::string>>{
            name, value ? std::optional<std::string>(value) : std::nullopt};
    };
    const std::vector saved{keep("QB_BACKUP_DIR"), keep("XDG_DATA_HOME"), keep("HOME")};
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_DATA_HOME", "/data", 1);
    ::setenv("QB_BACKUP_DIR", "/chosen", 1);
    EXPECT_EQ(DefaultBackupDir().path, "/chosen");
    ::setenv("QB_BACKUP_DIR", "", 1);
    EXPECT_EQ(DefaultBackupDir().path, "/data/quillanterbrooke/backups");
    ::setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(DefaultBackupDir().path, "/home/u/.local/share/quillanterbrooke/backups");
    ::unsetenv("HOME");
    EXPECT_EQ(DefaultBackupDir().path, "");
    EXPECT_NE(DefaultBackupDir().error.find("QB_BACKUP_DIR"), std::string::npos);
    for (const auto& [name, value] : saved)
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
}
#endif

#endif

}  // namespace
}  // namespace qb
