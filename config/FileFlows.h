// The "Load File" and "Save File" buttons and the close question, against the file dialogs, the disk and the
// user as interfaces.
#pragma once

#include <filesystem>
#include <optional>

#include "config/DataFile.h"

namespace qb {

class ConfigStore;
class ConfigView;
class FileAccess;
class MessageSink;
class UserSink;

inline constexpr char16_t kErrorOpeningText[] = u"Error Opening File.";
inline constexpr char16_t kErrorSavingText[] = u"Error Saving File.";
inline constexpr char16_t kDataChangedText[] = u"Data has changed\nSave now?";

// The file dialogs.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Empty when the user cancels. A name typed without an extension gets ".dat".
    virtual std::optional<std::filesystem::path> chooseFileToOpen() = 0;
    virtual std::optional<std::filesystem::path> chooseFileToSave() = 0;
};

// Reads and checks a data file: the configuration it holds, or the text telling the user why it cannot be loaded.
DecodeResult ReadDataFile(const std::filesystem::path& path, FileAccess& files);

// Choose, read, check, unpack into the view, mark saved. True if a file was loaded.
bool LoadDataFile(ConfigStore& store, ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files);
// The same for a file already chosen (a file named on the command line); it only ever shows an error.
bool LoadDataFileFrom(const std::filesystem::path& path, ConfigStore& store, ConfigView& view, MessageSink& sink,
                      FileAccess& files);
// Pack the view, choose, write, mark saved. True only if the file was written whole.
bool SaveDataFile(ConfigStore& store, const ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files);

// The window's close question, also asked before the device's values replace the window's. True if the window may
// close (or its values be replaced): unchanged, No, or Yes followed by a successful save. Cancel, and Yes with a
// cancelled or failed save, keep it open.
bool QueryClose(ConfigStore& store, const ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files);

}  // namespace qb
