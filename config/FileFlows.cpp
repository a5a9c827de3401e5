#include "config/FileFlows.h"

#include <variant>

#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/KeypadConfig.h"
#include "config/UserSink.h"

namespace qb {

bool LoadDataFile(ConfigStore& store, ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files) {
    const std::optional<std::filesystem::path> path = chooser.chooseFileToOpen();
    if (!path) return false;
    return LoadDataFileFrom(*path, store, view, sink, files);
}

DecodeResult ReadDataFile(const std::filesystem::path& path, FileAccess& files) {
    try {
        // Bytes after the 1087 of the format are not read: they carry nothing.
        const std::optional<std::vector<std::uint8_t>> bytes = files.read(path, kDataFileSize);
        if (!bytes) return std::u16string(kErrorOpeningText);
        return DecodeDataFile(bytes->data(), bytes->size());
    } catch (...) {
        return std::u16string(kErrorOpeningText);
    }
}

bool LoadDataFileFrom(const std::filesystem::path& path, ConfigStore& store, ConfigView& view, MessageSink& sink,
                      FileAccess& files) {
    DecodeResult decoded = ReadDataFile(path, files);
    if (const auto* message = std::get_if<std::u16string>(&decoded)) {
        sink.showError(*message);
        return false;
    }
    store.Config = std::get<KeypadConfig>(decoded);
    UnpackConfig(store.Config, view);
    store.MarkConfigSaved();
    return true;
}

bool SaveDataFile(ConfigStore& store, const ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files) {
    // Packed before the dialog, so even a cancelled save leaves the record up to date.
    PackConfig(view, store.Config);
    const std::vector<std::uint8_t> bytes = EncodeDataFile(store.Config);

    const std::optional<std::filesystem::path> path = chooser.chooseFileToSave();
    if (!path) return false;

    bool written = false;
    try {
        written = files.write(*path, bytes);
    } catch (...) {
        written = false;
    }
    if (!written) {
        // The configuration is not on disk, so it must still count as unsaved.
        sink.showError(kErrorSavingText);
        return false;
    }
    store.MarkConfigSaved();
    return true;
}

bool QueryClose(ConfigStore& store, const ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files) {
    PackConfig(view, store.Config);
    if (!store.ConfigChanged()) return true;
    switch (sink.askYesNoCancel(kDataChangedText)) {
        case Answer::Cancel:
            return false;
        case Answer::No:
            return true;
        case Answer::Yes:
            break;
    }
    return SaveDataFile(store, view, sink, chooser, files);
}

}  // namespace qb
