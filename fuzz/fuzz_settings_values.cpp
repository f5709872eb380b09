// libFuzzer entry: arbitrary bytes as a value read from "settings.ini". The
// first byte picks the locale's decimal separator; the rest is the value.
// Integers are checked against a plain reading of the rule written here
// digit by digit, and every value read must come back from the text the store
// writes for it. Aborts on a broken invariant.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/settings_values.h"

namespace {

using flinter::FolderOfPath;
using flinter::FormatProfileBoolean;
using flinter::FormatProfileFloat;
using flinter::ParseProfileBoolean;
using flinter::ParseProfileFloat;
using flinter::ParseProfileInteger;
using flinter::ParseProfileIntegerOr;

[[noreturn]] void broken(const std::string& what, std::string_view text) {
    std::fprintf(stderr, "invariant broken: %s for \"%.*s\"\n", what.c_str(), static_cast<int>(text.size()),
                 text.data());
    std::abort();
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The integer rule, read plainly: "0x"/"0X" or "$" and one to eight hex
// digits as a 32-bit pattern; otherwise an optional sign and decimal digits
// whose value fits 32 bits.
std::optional<std::int32_t> reference_integer(std::string_view text) {
    std::string_view hex;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) hex = text.substr(2);
    else if (!text.empty() && text[0] == '$') hex = text.substr(1);
    else {
        bool negative = false;
        if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
            negative = text[0] == '-';
            text.remove_prefix(1);
        }
        if (text.empty()) return std::nullopt;
        std::int64_t magnitude = 0;
        for (const char c : text) {
            if (c < '0' || c > '9') return std::nullopt;
            magnitude = magnitude * 10 + (c - '0');
            if (magnitude > 2147483648LL) return std::nullopt;
        }
        const std::int64_t v = negative ? -magnitude : magnitude;
        if (v > 2147483647LL) return std::nullopt;
        return static_cast<std::int32_t>(v);
    }
    if (hex.empty() || hex.size() > 8) return std::nullopt;
    std::uint32_t pattern = 0;
    for (const char c : hex) {
        const int digit = hex_value(c);
        if (digit < 0) return std::nullopt;
        pattern = pattern * 16 + static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(pattern);
}

void check_integer(std::string_view text) {
    const std::optional<std::int32_t> v = ParseProfileInteger(text);
    if (v != reference_integer(text)) broken("integer differs from the rule", text);
    for (const bool fallback : {false, true})
        if (ParseProfileBoolean(text, fallback) != (v ? *v != 0 : fallback)) broken("boolean", text);
    if (ParseProfileIntegerOr(text, 12345) != v.value_or(12345)) broken("integer with a default", text);
    if (!v) return;
    // The forms the store writes, and the hexadecimal ones a person may type, come back.
    const auto pattern = static_cast<std::uint32_t>(*v);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(pattern));
    char dollar[16];
    std::snprintf(dollar, sizeof dollar, "$%08x", static_cast<unsigned>(pattern));
    if (ParseProfileInteger(std::to_string(*v)) != v || ParseProfileInteger(hex) != v ||
        ParseProfileInteger(dollar) != v)
        broken("an integer does not come back from its text", text);
    if (ParseProfileBoolean(FormatProfileBoolean(*v != 0), *v == 0) != (*v != 0)) broken("boolean text", text);
}

// The day count is written with 15 significant digits: what is read back is
// within that precision, and a second round changes nothing. Values a 15-digit
// text cannot carry back (subnormal, or rounding past the largest double) are
// outside any day count and not checked.
void check_round_trip(double value, char separator, std::string_view source) {
    if (!std::isfinite(value) || (value != 0 && (std::fabs(value) < 1e-300 || std::fabs(value) > 1e300))) return;
    const std::string written = FormatProfileFloat(value, separator);
    const std::optional<double> back = ParseProfileFloat(written, separator);
    if (!back) broken("written as \"" + written + "\", not read back", source);
    if (std::fabs(*back - value) > std::fabs(value) * 1e-14) broken("read back as another value: " + written, source);
    if (FormatProfileFloat(*back, separator) != written) broken("a second round changes " + written, source);
    if (ParseProfileFloat(" " + written + "\t", separator) != back) broken("blanks around change " + written, source);
}

void check_float(std::string_view text, char separator) {
    const std::optional<double> v = ParseProfileFloat(text, separator);
    if (!v) return;
    if (!std::isfinite(*v)) broken("not finite", text);
    check_round_trip(*v, separator, text);
    // Only the locale's separator separates: a point or comma it does not use makes no number.
    for (const char foreign : {'.', ','})
        if (foreign != separator && text.find(foreign) != std::string_view::npos) broken("foreign separator", text);
}

void check_folder(std::string_view path) {
    const std::string folder = FolderOfPath(path);
    if (path.substr(0, folder.size()) != folder) broken("the folder is not the path's start", path);
    if (!folder.empty() && folder.back() != '\\' && folder.back() != ':') broken("the folder ends in a name", path);
    if (path.substr(folder.size()).find_first_of("\\:") != std::string_view::npos)
        broken("a delimiter after the folder", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Separators in use by locales, and a few a user might set.
    static constexpr char kSeparators[] = {'.', ',', '\'', ' ', '/', ':', '\xB7', '_'};
    const char separator = kSeparators[data[0] & 7];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    check_integer(text);
    check_float(text, separator);
    check_folder(text);
    if (text.size() >= sizeof(double)) {
        double raw = 0;
        std::memcpy(&raw, text.data(), sizeof raw);
        check_round_trip(raw, separator, text);
    }
    return 0;
}
