// Arbitrary bytes as one 64-byte message slot: the escape translation must stay inside both slots and agree
// with a plain reading of the escape rules.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/Codepage.h"
#include "config/KeypadConfig.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/FakeSink.h"

namespace {

constexpr std::uint8_t kUntouched = 0xEE;

int Digit(char c) {
    const auto at = std::string_view("0123456789abcdef0123456789ABCDEF").find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at % 16);
}

// The rules as written: "\\" is a backslash, "\" and two hex digits is that byte, any other backslash is an
// error, everything else stands for itself.
std::optional<std::string> Reference(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        if (text.front() != '\\') {
            out += text.front();
            text.remove_prefix(1);
        } else if (text.substr(1, 1) == "\\") {
            out += '\\';
            text.remove_prefix(2);
        } else if (text.size() >= 3 && Digit(text[1]) >= 0 && Digit(text[2]) >= 0) {
            out += static_cast<char>(Digit(text[1]) * 16 + Digit(text[2]));
            text.remove_prefix(3);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Exactly 64 bytes on the heap each, so that any read or write past a slot is caught.
    auto in = std::make_unique<std::uint8_t[]>(qb::kSlotSize);
    auto out = std::make_unique<std::uint8_t[]>(qb::kSlotSize);
    std::memset(in.get(), 0, qb::kSlotSize);
    std::memcpy(in.get(), data, std::min(size, qb::kSlotSize));
    std::memset(out.get(), kUntouched, qb::kSlotSize);

    const std::string_view text = qb::SlotText(in.get());
    FUZZ_CHECK(text.size() <= qb::kMaxMessageBytes);
    FUZZ_CHECK(text.find('\0') == std::string_view::npos);

    const bool ok = qb::DecodeMessageEscapes(in.get(), out.get());
    const std::optional<std::string> expected = Reference(text);
    FUZZ_CHECK(ok == expected.has_value());
    if (ok) {
        FUZZ_CHECK(expected->size() <= text.size());
        FUZZ_CHECK(std::memcmp(out.get(), expected->data(), expected->size()) == 0);
        FUZZ_CHECK(out[expected->size()] == 0);
        for (std::size_t i = expected->size() + 1; i < qb::kSlotSize; ++i) FUZZ_CHECK(out[i] == kUntouched);
    } else {
        for (std::size_t i = text.size(); i < qb::kSlotSize; ++i) FUZZ_CHECK(out[i] == kUntouched);
    }

    // The same slot inside a record: reported with its raw text, or translated into the device's slot.
    qb::ConfigStore store;
    std::memcpy(qb::Slot(store.Config.Messages, qb::kSlotCount - 1), in.get(), qb::kSlotSize);
    qb::test::FakeSink sink;
    FUZZ_CHECK(store.TranslateMessages(sink) == ok);
    if (ok) {
        FUZZ_CHECK(sink.shown.empty());
        FUZZ_CHECK(std::memcmp(qb::Slot(store.DeviceMessages, qb::kSlotCount - 1), out.get(), expected->size() + 1) ==
                   0);
    } else {
        FUZZ_CHECK(sink.errors() == std::vector{u"Error on Message:\r" + qb::FromAnsi(text)});
    }
    return 0;
}
