#include "config/DataFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "config/Bytes.h"

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

}  // namespace qb
