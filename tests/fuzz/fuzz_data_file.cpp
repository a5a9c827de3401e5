// Arbitrary bytes as a data file: decoding must never read past what it was given, and whatever it accepts
// must survive the rest of the tool's handling of a loaded record.
#include <algorithm>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/KeypadConfig.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/FakeView.h"

namespace {

std::int32_t Version(const std::uint8_t* data) {
    return static_cast<std::int32_t>(std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) |
                                     (std::uint32_t{data[2]} << 16) | (std::uint32_t{data[3]} << 24));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qb::DecodeResult decoded = qb::DecodeDataFile(data, size);
    if (const auto* message = std::get_if<std::u16string>(&decoded)) {
        FUZZ_CHECK(*message == qb::kIncompatibleFileText || *message == qb::kLaterFormatText);
        return 0;
    }
    const qb::KeypadConfig& config = std::get<qb::KeypadConfig>(decoded);

    // Accepted: the whole format was there, the version is not a later one, and the name matched.
    FUZZ_CHECK(size >= qb::kDataFileSize);
    FUZZ_CHECK(Version(data) <= qb::kDataFileVersion);

    // Writing it back reproduces the file's first 1087 bytes, except for what carries nothing: the version is
    // written as 1 and header bytes 29..35 as zeros. The name and its zero byte come back exactly.
    const std::vector<std::uint8_t> encoded = qb::EncodeDataFile(config);
    FUZZ_CHECK(encoded.size() == qb::kDataFileSize);
    FUZZ_CHECK(Version(encoded.data()) == qb::kDataFileVersion);
    FUZZ_CHECK(std::equal(encoded.begin() + 4, encoded.begin() + 29, data + 4));
    FUZZ_CHECK(std::all_of(encoded.begin() + 29, encoded.begin() + 36, [](std::uint8_t b) { return b == 0; }));
    FUZZ_CHECK(std::equal(encoded.begin() + 36, encoded.end(), data + 36));
    // Each slot's own escape translation is the other fuzz target's business (fuzz_message_escapes).

    // Loaded, shown, saved, translated: the record counts as unchanged after being shown and packed again,
    // and settings the window cannot show come back as what it does show.
    qb::ConfigStore store;
    store.Config = config;
    store.MarkConfigSaved();
    FUZZ_CHECK(!store.ConfigChanged());
    qb::fuzz::RecordingSink sink;
    const bool translated = store.TranslateMessages(sink);
    FUZZ_CHECK(translated == sink.errors.empty());

    qb::test::FakeView view;
    qb::UnpackConfig(store.Config, view);
    qb::PackConfig(view, store.Config);
    const auto& before = config.Settings;
    const auto& after = store.Config.Settings;
    FUZZ_CHECK(std::equal(after.begin(), after.begin() + qb::kBaudCodeOffset, before.begin()));
    FUZZ_CHECK(after[qb::kBaudCodeOffset] == (before[qb::kBaudCodeOffset] <= 6 ? before[qb::kBaudCodeOffset] : 255));
    FUZZ_CHECK(after[qb::kParityCodeOffset] ==
               (before[qb::kParityCodeOffset] <= 2 ? before[qb::kParityCodeOffset] : 0));
    FUZZ_CHECK(after[qb::kStopBitsOffset] == (before[qb::kStopBitsOffset] == 2 ? 2 : 1));
    for (std::size_t k = 0; k < qb::kSlotCount; ++k)
        FUZZ_CHECK(qb::SlotText(store.slot(k)) == qb::SlotText(config.Messages.data() + k * qb::kSlotSize));
    return 0;
}
