// The data file format (.dat): a 36-byte header (version, product name) followed by Settings and Messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "config/KeypadConfig.h"

namespace qb {

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kDataFileSize = kHeaderSize + kSettingsSize + kMessagesSize;  // 1087
inline constexpr std::int32_t kDataFileVersion = 1;
inline constexpr char kProductName[] = "VELMORA Quillanterbrooke";

inline constexpr char16_t kIncompatibleFileText[] = u"Incompatible data file.";
inline constexpr char16_t kLaterFormatText[] = u"The file uses a later data format.\r\nCannot load";

// The bytes of a data file holding `config`.
std::vector<std::uint8_t> EncodeDataFile(const KeypadConfig& config);

// Either the configuration a file holds or the text telling the user why it cannot be loaded.
using DecodeResult = std::variant<KeypadConfig, std::u16string>;
DecodeResult DecodeDataFile(const std::uint8_t* data, std::size_t size);

}  // namespace qb
