// Arbitrary bytes as a data file: decoding must never read past what it was given, and whatever it accepts
// must survive the rest of the tool's handling of a loaded record.
#include <algorithm>
#include <cstdint>
#include <variant>
#include <vector>

#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/KeypadConfig.h"
#include "config/MemoryConfigView.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qb::DecodeResult decoded = qb::DecodeDataFile(data, size);
    if (const auto* message = std::get_if<std::u16string>(&decoded)) {
        FUZZ_CHECK(*message == qb::kIncompatibleFileText || *message == qb::kLaterFormatText);
        return 0;
    }
    const qb::KeypadConfig& config = std::get<qb::KeypadConfig>(decoded);

    // Accepted: the whole format was there and the version is not a later one.
    FUZZ_CHECK(size >= qb::kDataFileSize);
    const auto version =
        static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24);
    FUZZ_CHECK(version <= qb::kDataFileVersion);

    // Writing it back reproduces the file's first 1087 bytes, except for what carries nothing: the version is
    // written as 1 and header bytes 29..35 as zeros. The name and its zero byte come back exactly.
    const std::vector<std::uint8_t> encoded = qb::EncodeDataFile(config);
    FUZZ_CHECK(encoded.size() == qb::kDataFileSize);
    FUZZ_CHECK(encoded[0] == 1 && encoded[1] == 0 && encoded[2] == 0 && encoded[3] == 0);
    FUZZ_CHECK(std::equal(encoded.begin() + 4, encoded.begin() + 29, data + 4));
    FUZZ_CHECK(std::all_of(encoded.begin() + 29, encoded.begin() + 36, [](std::uint8_t b) { return b == 0; }));
    FUZZ_CHECK(std::equal(encoded.begin() + 36, encoded.end(), data + 36));

    // Shown and packed again: every text reads the same, and settings the window cannot show come back as what
    // it does show: an unknown parity leaves the buttons as they were. Each slot's escapes are the other fuzz
    // target's business.
    qb::MemoryConfigView view;
    view.check(qb::RadioButton::OddParity);
    qb::KeypadConfig packed = config;
    qb::UnpackConfig(config, view);
    qb::PackConfig(view, packed);
    const auto& before = config.Settings;
    const auto& after = packed.Settings;
    FUZZ_CHECK(std::equal(after.begin(), after.begin() + qb::kBaudCodeOffset, before.begin()));
    FUZZ_CHECK(after[qb::kBaudCodeOffset] == (before[qb::kBaudCodeOffset] <= 6 ? before[qb::kBaudCodeOffset] : 255));
    FUZZ_CHECK(after[qb::kParityCodeOffset] ==
               (before[qb::kParityCodeOffset] <= 2 ? before[qb::kParityCodeOffset] : 2));
    FUZZ_CHECK(after[qb::kStopBitsOffset] == (before[qb::kStopBitsOffset] == 2 ? 2 : 1));
    for (std::size_t at = 0; at < qb::kMessagesSize; at += qb::kSlotSize)
        FUZZ_CHECK(qb::SlotText(packed.Messages.data() + at) == qb::SlotText(config.Messages.data() + at));
    return 0;
}
