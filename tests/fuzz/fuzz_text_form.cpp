// Arbitrary bytes as a configuration's text form: reading never crashes, refuses with a field named, and whatever
// it accepts is written and read back to the same record.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/KeypadConfig.h"
#include "config/TextForm.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qb::KeypadConfig config;
    config.Messages.fill(0xEE);
    const qb::KeypadConfig before = config;
    std::string error;
    if (!qb::ImportTextForm(text, config, error)) {
        // "field: what is wrong", and the record untouched.
        FUZZ_CHECK(error.find(": ") != std::string::npos && error.find(": ") > 0);
        FUZZ_CHECK(config.Settings == before.Settings && config.Messages == before.Messages);
        return 0;
    }
    FUZZ_CHECK(error.empty());
    for (std::size_t k = 0; k < qb::kSlotCount; ++k) {
        const std::uint8_t* slot = qb::Slot(config.Messages, k);
        const std::size_t length = qb::SlotText(slot).size();
        FUZZ_CHECK(length < qb::kSlotSize);
        for (std::size_t i = length; i < qb::kSlotSize; ++i) FUZZ_CHECK(slot[i] == 0);
    }

    const std::string written = qb::ExportTextForm(config);
    qb::KeypadConfig again;
    FUZZ_CHECK(qb::ImportTextForm(written, again, error));
    FUZZ_CHECK(again.Settings == config.Settings && again.Messages == config.Messages);
    FUZZ_CHECK(qb::ExportTextForm(again) == written);
    return 0;
}
