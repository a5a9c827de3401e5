#include "config/DataFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "config/ConfigTransfer.h"
#include "config/ConfigView.h"
#include "config/UserSink.h"

namespace qb {

namespace {

constexpr std::size_t kVersionOffset = 0;
constexpr std::size_t kNameOffset = 4;
constexpr std::size_t kNameSize = 32;
constexpr std::size_t kSettingsOffset = kHeaderSize;                  // 36
constexpr std::size_t kMessagesOffset = kHeaderSize + kSettingsSize;  // 63

static_assert(kNameOffset + kNameSize == kHeaderSize);
static_assert(sizeof(kProductName) <= kNameSize, "the name and its zero byte fit the header");

// The name field compared as a zero-terminated string, looking only at the bytes the file holds and never
// beyond the 32 name bytes: a name without its zero byte there does not match.
bool NameMatches(const std::uint8_t* data, std::size_t size) {
    if (size <= kNameOffset) return false;
    const std::size_t available = std::min(kNameSize, size - kNameOffset);
    const auto* name = reinterpret_cast<const char*>(data + kNameOffset);
    const void* zero = std::memchr(name, 0, available);
    if (!zero) return false;
    const std::string_view text(name, static_cast<std::size_t>(static_cast<const char*>(zero) - name));
    return text == std::string_view(kProductName);
}

std::int32_t ReadInt32LE(const std::uint8_t* p) {
    const std::uint32_t v =
        std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    return static_cast<std::int32_t>(v);
}

void WriteInt32LE(std::uint8_t* p, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> EncodeDataFile(const KeypadConfig& config) {
    std::vector<std::uint8_t> bytes(kDataFileSize, 0);  // header offsets 29..35 stay zero
    WriteInt32LE(bytes.data() + kVersionOffset, kDataFileVersion);
    std::memcpy(bytes.data() + kNameOffset, kProductName, sizeof(kProductName));
    std::copy(config.Settings.begin(), config.Settings.end(), bytes.begin() + kSettingsOffset);
    std::copy(config.Messages.begin(), config.Messages.end(), bytes.begin() + kMessagesOffset);
    return bytes;
}

DecodeResult DecodeDataFile(const std::uint8_t* data, std::size_t size) {
    // The name is checked before the version: a foreign file is incompatible whatever its first four bytes say.
    if (!data || !NameMatches(data, size)) return std::u16string(kIncompatibleFileText);
    if (ReadInt32LE(data + kVersionOffset) > kDataFileVersion) return std::u16string(kLaterFormatText);
    // A cut-off file would leave part of the old configuration mixed into the new one; it is refused whole.
    if (size < kDataFileSize) return std::u16string(kIncompatibleFileText);

    KeypadConfig config;
    std::copy_n(data + kSettingsOffset, kSettingsSize, config.Settings.begin());
    std::copy_n(data + kMessagesOffset, kMessagesSize, config.Messages.begin());
    return config;
}

std::optional<std::vector<std::uint8_t>> DiskFileAccess::read(const std::filesystem::path& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    std::vector<std::uint8_t> bytes(maxBytes);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(maxBytes));
    // Running into the end of the file is fine; a read error (a folder, a vanished medium) is not.
    if (in.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool DiskFileAccess::write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::path temp = path;
    temp += ".tmp~";
    std::error_code ignored;
    const auto discard = [&] {
        std::filesystem::remove(temp, ignored);
        return false;
    };

    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out.is_open()) return discard();
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        out.close();  // a failed close (a full disk) shows up here too
        if (out.fail()) return discard();
    }

    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) return discard();
    return true;
}

bool LoadDataFile(ConfigStore& store, ConfigView& view, UserSink& sink, FileChooser& chooser, FileAccess& files) {
    const std::optional<std::filesystem::path> path = chooser.chooseFileToOpen();
    if (!path) return false;

    try {
        // Bytes after the 1087 of the format are not read: they carry nothing.
        const std::optional<std::vector<std::uint8_t>> bytes = files.read(*path, kDataFileSize);
        if (!bytes) {
            sink.showError(kErrorOpeningText);
            return false;
        }
        DecodeResult decoded = DecodeDataFile(bytes->data(), bytes->size());
        if (const auto* message = std::get_if<std::u16string>(&decoded)) {
            sink.showError(*message);
            return false;
        }
        store.Config = std::get<KeypadConfig>(decoded);
        UnpackConfig(store.Config, view);
        store.MarkConfigSaved();
        return true;
    } catch (...) {
        sink.showError(kErrorOpeningText);
        return false;
    }
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
