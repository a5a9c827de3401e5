#include "config/TextForm.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/Bytes.h"
#include "config/Codepage.h"
#include "config/KeyTable.h"
#include "config/Text.h"

namespace qb {

namespace {

using Json = nlohmann::json;

constexpr int kFirstLine = 1;
constexpr int kLastLine = 8;
constexpr std::array<const char*, 3> kParityNames{"none", "even", "odd"};

std::string KeyName(const KeyInfo& key) {
    return std::string(1, key.legend);
}

// A JSON string of UTF-16 text. Every control character, C1 ones and DEL included, is written as an escape, so
// nothing in the file is invisible.
std::string Quote(std::u16string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {  // a character beyond the first 64 Ki
            out += ToUtf8(text.substr(i, 2));
            ++i;
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += "\\u00";
            AppendHexByte(out, static_cast<std::uint8_t>(c));
        } else {
            out += ToUtf8(std::u16string_view(&c, 1));
        }
    }
    return out + '"';
}

std::u16string FromBytes(std::string_view bytes) {
    std::u16string text;
    for (const char b : bytes) text += Windows1252Char(static_cast<std::uint8_t>(b));
    return text;
}

std::string Numbers(const SettingsBlock& s, std::size_t offset) {
    std::string text = "[";
    for (std::size_t i = 0; i < 4; ++i) text += (i ? ", " : "") + std::to_string(s[offset + i]);
    return text + "]";
}

// ---- Reading ----

// A problem found: which field, and what is wrong with it.
struct Problem {
    std::string field;
    std::string what;
};

// Error texts quote the input, which need not be valid UTF-8 (a parse error shows the bytes it stopped at).
std::string CleanUtf8(std::string_view text) {
    std::string clean = ToUtf8(FromUtf8(text));
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return clean;
}

std::string Found(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case Json::value_t::string:
            return Quote(FromUtf8(value.get_ref<const std::string&>()));
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
            return value.dump();
        case Json::value_t::number_float:
            return "the fraction " + value.dump();
        case Json::value_t::array:
            return "a list";
        case Json::value_t::object:
            return "an object";
        default:
            return "something else";
    }
}

// A whole number within [low, high], or why not.
std::optional<int> WholeNumber(const Json& value, int low, int high, const std::string& field,
                               std::optional<Problem>& problem) {
    const std::string range = std::to_string(low) + ".." + std::to_string(high);
    if (!value.is_number_integer()) {
        problem = Problem{field, "must be a whole number " + range + ", found " + Found(value)};
        return std::nullopt;
    }
    const bool inRange = value.is_number_unsigned()
                             ? value.get<std::uint64_t>() <= std::uint64_t(high) &&
                                   value.get<std::uint64_t>() >= std::uint64_t(std::max(low, 0))
                             : value.get<std::int64_t>() >= low && value.get<std::int64_t>() <= high;
    if (!inRange) {
        problem = Problem{field, value.dump() + " is out of range (" + range + ")"};
        return std::nullopt;
    }
    return static_cast<int>(value.get<std::int64_t>());
}

// The 8-bit form of a text, or the first character Windows-1252 has no byte for.
std::optional<std::string> EightBit(const std::string& utf8, const std::string& field,
                                    std::optional<Problem>& problem) {
    const std::u16string text = FromUtf8(utf8);
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const int byte = Windows1252Byte(c);
        if (byte > 0) {
            bytes += static_cast<char>(byte);
            continue;
        }
        std::u16string character(1, c);
        char32_t code = c;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            character += text[i + 1];
            code = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
        }
        std::string hex;
        for (int shift = code > 0xFFFF ? 16 : 8; shift >= 0; shift -= 8)
            AppendHexByte(hex, static_cast<std::uint8_t>(code >> shift));
        if (hex.size() == 6 && hex[0] == '0') hex.erase(0, 1);
        problem =
            Problem{field, code == 0 ? std::string("holds U+0000, which would end the text early")
                                     : Quote(character) + " (U+" + hex + ") is not in the Windows-1252 code page"};
        return std::nullopt;
    }
    return bytes;
}

// Checks that `object` holds exactly the fields `names` (those in `either` pairs: exactly one of each pair).
bool CheckFields(const Json& object, const std::string& where, const std::vector<std::string>& names,
                 const std::vector<std::pair<std::string, std::string>>& either, std::optional<Problem>& problem) {
    const std::string prefix = where.empty() ? "" : where + ".";
    for (const auto& item : object.items()) {
        const std::string& name = item.key();
        const bool known = std::find(names.begin(), names.end(), name) != names.end() ||
                           std::any_of(either.begin(), either.end(),
                                       [&](const auto& pair) { return pair.first == name || pair.second == name; });
        if (!known) {
            // A field without a name is named as JSON writes it, so that the message still says which.
            problem = Problem{prefix + (name.empty() ? std::string("\"\"") : CleanUtf8(name)), "unknown field"};
            return false;
        }
    }
    for (const std::string& name : names) {
        if (!object.contains(name)) {
            problem = Problem{prefix + name, "missing"};
            return false;
        }
    }
    for (const auto& [one, other] : either) {
        const bool hasOne = object.contains(one);
        const bool hasOther = object.contains(other);
        if (hasOne == hasOther) {
            problem = Problem{prefix + one, hasOne ? "give either " + one + " or " + other + ", not both"
                                                   : "missing (or " + other + " instead)"};
            return false;
        }
    }
    return true;
}

// Notes the first field that stands twice in one object, which the parsed value no longer shows (the last one
// wins there).
class DuplicateFinder {
public:
    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                countValue();
                frames_.push_back(Frame{event == Json::parse_event_t::array_start, 0, {}, {}});
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                if (!frames_.empty()) frames_.pop_back();
                break;
            case Json::parse_event_t::key:
                if (!frames_.empty() && parsed.is_string()) {
                    Frame& frame = frames_.back();
                    frame.key = parsed.get<std::string>();
                    if (!frame.keys.insert(frame.key).second && !duplicate) duplicate = path();
                }
                break;
            case Json::parse_event_t::value:
                countValue();
                break;
        }
        return true;
    }

    std::optional<std::string> duplicate;

private:
    struct Frame {
        bool array;
        std::size_t count;
        std::string key;
        std::set<std::string> keys;
    };

    void countValue() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().count;
    }
    std::string path() const {
        std::string text;
        for (const Frame& frame : frames_) {
            if (frame.array)
                text += "[" + std::to_string(frame.count - 1) + "]";
            else
                text += (text.empty() ? "" : ".") + CleanUtf8(frame.key);
        }
        return text;
    }

    std::vector<Frame> frames_;
};

// nlohmann's message without its "[json.exception...] " prefix.
std::string ParseErrorText(const char* what) {
    std::string_view text(what);
    if (!text.empty() && text.front() == '[') {
        const auto end = text.find("] ");
        if (end != std::string_view::npos) text.remove_prefix(end + 2);
    }
    return CleanUtf8(text);
}

std::optional<Problem> ReadFields(const Json& root, KeypadConfig& config);

std::optional<Problem> ReadTextForm(std::string_view text, KeypadConfig& config) {
    if (text.size() > kMaxTextFormSize)
        return Problem{"the text", std::to_string(text.size()) +
                                       " bytes, more than a configuration's text form can be (" +
                                       std::to_string(kMaxTextFormSize) + ")"};
    Json root;
    DuplicateFinder duplicates;
    try {
        root = Json::parse(text.begin(), text.end(), std::ref(duplicates));
    } catch (const Json::exception& e) {
        return Problem{"the text", "not valid JSON: " + ParseErrorText(e.what())};
    }
    if (duplicates.duplicate) return Problem{*duplicates.duplicate, "given twice"};
    if (!root.is_object()) return Problem{"the text", "must be a JSON object, found " + Found(root)};
    return ReadFields(std::as_const(root), config);
}

std::optional<Problem> ReadFields(const Json& root, KeypadConfig& config) {
    std::optional<Problem> problem;

    // What the file is, before anything else: a later version may well have other fields.
    if (!root.contains("format")) return Problem{"format", "missing: this is no configuration's text form"};
    if (root.at("format") != kTextFormFormat)
        return Problem{"format", "must be \"" + std::string(kTextFormFormat) + "\", found " + Found(root.at("format"))};
    if (!root.contains("version")) return Problem{"version", "missing"};
    if (root.at("version").is_number_integer() && root.at("version") > kTextFormVersion)
        return Problem{"version", root.at("version").dump() + " is a later format than this program reads (" +
                                      std::to_string(kTextFormVersion) + ")"};
    if (!WholeNumber(root.at("version"), kTextFormVersion, kTextFormVersion, "version", problem)) return problem;

    if (!CheckFields(root, "", {"format", "version", "columnLines", "rowLines", "stopBits", "keys"},
                     {{"baudRate", "baudCode"}, {"parity", "parityCode"}}, problem))
        return problem;

    SettingsBlock settings{};
    for (const auto& [name, offset] : {std::pair{"columnLines", kColumnLinesOffset}, {"rowLines", kRowLinesOffset}}) {
        const Json& lines = root.at(name);
        if (!lines.is_array() || lines.size() != 4)
            return Problem{name, "must be a list of four keypad lines, found " +
                                     (lines.is_array() ? "a list of " + std::to_string(lines.size()) : Found(lines))};
        for (std::size_t i = 0; i < 4; ++i) {
            const auto line = WholeNumber(lines[i], kFirstLine, kLastLine,
                                          std::string(name) + "[" + std::to_string(i) + "]", problem);
            if (!line) return problem;
            settings[offset + i] = static_cast<std::uint8_t>(*line);
        }
    }

    if (root.contains("baudRate")) {
        const Json& rate = root.at("baudRate");
        const auto known = std::find_if(kBaudRates.begin(), kBaudRates.end(),
                                        [&](const char* r) { return rate.is_number_integer() && rate.dump() == r; });
        if (known == kBaudRates.end()) {
            std::string list;
            for (const char* r : kBaudRates) list += (list.empty() ? "" : ", ") + std::string(r);
            return Problem{"baudRate", "must be one of " + list + ", found " + Found(rate)};
        }
        settings[kBaudCodeOffset] = static_cast<std::uint8_t>(known - kBaudRates.begin());
    } else {
        const auto code = WholeNumber(root.at("baudCode"), 0, 255, "baudCode", problem);
        if (!code) return problem;
        settings[kBaudCodeOffset] = static_cast<std::uint8_t>(*code);
    }

    if (root.contains("parity")) {
        const Json& parity = root.at("parity");
        const auto known = std::find_if(kParityNames.begin(), kParityNames.end(),
                                        [&](const char* n) { return parity.is_string() && parity == n; });
        if (known == kParityNames.end())
            return Problem{"parity", "must be \"none\", \"even\" or \"odd\", found " + Found(parity)};
        settings[kParityCodeOffset] = static_cast<std::uint8_t>(known - kParityNames.begin());
    } else {
        const auto code = WholeNumber(root.at("parityCode"), 0, 255, "parityCode", problem);
        if (!code) return problem;
        settings[kParityCodeOffset] = static_cast<std::uint8_t>(*code);
    }

    const auto stopBits = WholeNumber(root.at("stopBits"), 0, 255, "stopBits", problem);
    if (!stopBits) return problem;
    settings[kStopBitsOffset] = static_cast<std::uint8_t>(*stopBits);

    const Json& keys = root.at("keys");
    if (!keys.is_array() || keys.size() != kKeys.size())
        return Problem{"keys", "must be a list of all 16 keys, found " +
                                   (keys.is_array() ? "a list of " + std::to_string(keys.size()) : Found(keys))};
    MessageBlock messages{};
    std::array<std::optional<std::size_t>, kKeyCount> seen{};  // by legend index: where the key was given
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const Json& entry = keys[i];
        std::string where = "keys[" + std::to_string(i) + "]";
        if (!entry.is_object()) return Problem{where, "must be an object, found " + Found(entry)};
        if (!CheckFields(entry, where, {"key", "legend", "message"}, {}, problem)) return problem;

        const Json& name = entry.at("key");
        const auto key = std::find_if(kKeys.begin(), kKeys.end(),
                                      [&](const KeyInfo& k) { return name.is_string() && name == KeyName(k); });
        if (key == kKeys.end())
            return Problem{where + ".key",
                           "must name a key: \"1\"..\"9\", \"0\", \"A\"..\"D\", \"*\" or \"#\", found " + Found(name)};
        auto& first = seen[static_cast<std::size_t>(key->legendIndex)];
        if (first)
            return Problem{where + ".key", "key " + Quote(FromUtf8(KeyName(*key))) + " is given twice (also keys[" +
                                               std::to_string(*first) + "])"};
        first = i;
        where += " (key " + KeyName(*key) + ")";

        const Json& legend = entry.at("legend");
        if (!legend.is_string())
            return Problem{where + ".legend", "must be a text of one character or \"\", found " + Found(legend)};
        const auto legendByte = EightBit(legend.get<std::string>(), where + ".legend", problem);
        if (!legendByte) return problem;
        if (legendByte->size() > 1) return Problem{where + ".legend", Found(legend) + " is more than one character"};
        settings[kLegendsOffset + key->legendIndex] =
            legendByte->empty() ? 0 : static_cast<std::uint8_t>((*legendByte)[0]);

        const Json& message = entry.at("message");
        if (!message.is_string()) return Problem{where + ".message", "must be a text, found " + Found(message)};
        const auto bytes = EightBit(message.get<std::string>(), where + ".message", problem);
        if (!bytes) return problem;
        if (bytes->size() > kMaxMessageBytes)
            return Problem{where + ".message", std::to_string(bytes->size()) + " bytes long, at most " +
                                                   std::to_string(kMaxMessageBytes) + " fit a key's message"};
        std::copy(bytes->begin(), bytes->end(), Slot(messages, static_cast<std::size_t>(key->slot)));
    }

    config.Settings = settings;
    config.Messages = messages;
    return std::nullopt;
}

}  // namespace

std::string ExportTextForm(const KeypadConfig& config) {
    const SettingsBlock& s = config.Settings;
    std::string out = "{\n";
    out += "  \"format\": \"" + std::string(kTextFormFormat) + "\",\n";
    out += "  \"version\": " + std::to_string(kTextFormVersion) + ",\n";
    out += "  \"columnLines\": " + Numbers(s, kColumnLinesOffset) + ",\n";
    out += "  \"rowLines\": " + Numbers(s, kRowLinesOffset) + ",\n";
    const std::uint8_t baud = s[kBaudCodeOffset];
    out += baud < kBaudRates.size() ? "  \"baudRate\": " + std::string(kBaudRates[baud]) + ",\n"
                                    : "  \"baudCode\": " + std::to_string(baud) + ",\n";
    const std::uint8_t parity = s[kParityCodeOffset];
    out += parity < kParityNames.size() ? "  \"parity\": \"" + std::string(kParityNames[parity]) + "\",\n"
                                        : "  \"parityCode\": " + std::to_string(parity) + ",\n";
    out += "  \"stopBits\": " + std::to_string(s[kStopBitsOffset]) + ",\n";
    out += "  \"keys\": [\n";
    for (const KeyInfo& key : kKeys) {
        const std::uint8_t legend = s[kLegendsOffset + key.legendIndex];
        const std::u16string legendText = legend ? std::u16string(1, Windows1252Char(legend)) : std::u16string();
        const std::string_view message = SlotText(Slot(config.Messages, static_cast<std::size_t>(key.slot)));
        out += "    {\"key\": " + Quote(FromUtf8(KeyName(key))) + ", \"legend\": " + Quote(legendText) +
               ", \"message\": " + Quote(FromBytes(message)) + "}";
        out += key.legendIndex + 1 < kKeyCount ? ",\n" : "\n";
    }
    out += "  ]\n}\n";
    return out;
}

bool ImportTextForm(std::string_view json, KeypadConfig& out, std::string& error) {
    KeypadConfig config;
    std::optional<Problem> problem;
    try {
        problem = ReadTextForm(json, config);
    } catch (const Json::exception& e) {  // a field looked up that the checks should have found missing
        problem = Problem{"the text", ParseErrorText(e.what())};
    }
    if (problem) {
        error = problem->field + ": " + problem->what;
        return false;
    }
    out = config;
    error.clear();
    return true;
}

}  // namespace qb
