// Data files (.dat): a 36-byte header (version, product name) followed by Settings and Messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "config/KeypadConfig.h"

namespace qb {

class ConfigView;
class UserSink;

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kDataFileSize = kHeaderSize + kSettingsSize + kMessagesSize;  // 1087
inline constexpr std::int32_t kDataFileVersion = 1;
inline constexpr char kProductName[] = "VELMORA Quillanterbrooke";

inline constexpr char16_t kIncompatibleFileText[] = u"Incompatible data file.";
inline constexpr char16_t kLaterFormatText[] = u"The file uses a later data format.\r\nCannot load";
inline constexpr char16_t kErrorOpeningText[] = u"Error Opening File.";
inline constexpr char16_t kErrorSavingText[] = u"Error Saving File.";
inline constexpr char16_t kDataChangedText[] = u"Data has changed\nSave now?";

// The bytes of a data file holding `config`.
std::vector<std::uint8_t> EncodeDataFile(const KeypadConfig& config);

// Either the configuration a file holds or the text telling the user why it cannot be loaded.
using DecodeResult = std::variant<KeypadConfig, std::u16string>;
DecodeResult DecodeDataFile(const std::uint8_t* data, std::size_t size);

// The file dialogs.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Empty when the user cancels. A name typed without an extension gets ".dat".
    virtual std::optional<std::filesystem::path> chooseFileToOpen() = 0;
    virtual std::optional<std::filesystem::path> chooseFileToSave() = 0;
};

// Whole-file access.
class FileAccess {
public:
    virtual ~FileAccess() = default;
    // Reads at most `maxBytes`; empty when the file cannot be opened or read.
    virtual std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path, std::size_t maxBytes) = 0;
    // Creates or replaces the file with exactly `bytes`; false if that did not completely succeed.
    virtual bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) = 0;
};

// The real disk. Writes go to a temporary file beside the target that then replaces it, so a failed save
// never leaves a damaged file behind.
class DiskFileAccess : public FileAccess {
public:
    std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path, std::size_t maxBytes) override;
    bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) override;
};

// The "Load File" button: choose, read, check, unpack into the view, mark saved. True if a file was loaded.
bool LoadDataFile(ConfigStore& store, ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files);
// The "Save File" button: pack the view, choose, write, mark saved. True only if the file was written whole.
bool SaveDataFile(ConfigStore& store, const ConfigView& view, UserSink& sink, FileChooser& chooser,
                  FileAccess& files);

// The window's close question. True if the window may close: unchanged, No, or Yes followed by a
// successful save. Cancel, and Yes with a cancelled or failed save, keep it open.
bool QueryClose(ConfigStore& store, const ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files);

}  // namespace qb
