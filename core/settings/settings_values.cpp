#include "core/settings/settings_values.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "core/text/ascii.h"

namespace flinter {
namespace {

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::optional<std::int32_t> parse_hex(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        if (!is_hex_digit(c)) return std::nullopt;
    }
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> parse_signed_integer(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    std::int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, 10);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::int32_t> ParseProfileInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return parse_hex(text.substr(2));
    if (!text.empty() && text[0] == '$') return parse_hex(text.substr(1));
    return parse_signed_integer(text);
}

std::int32_t ParseProfileIntegerOr(std::string_view text, std::int32_t fallback) {
    return ParseProfileInteger(text).value_or(fallback);
}

bool ParseProfileBoolean(std::string_view text, bool fallback) {
    const auto value = ParseProfileInteger(text);
    return value ? *value != 0 : fallback;
}

std::string FormatProfileBoolean(bool value) { return value ? "1" : "0"; }

std::string FormatProfileFloat(double value, char decimal_separator) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text(buffer);
    for (char& c : text) {
        if (c == '.') c = decimal_separator;
    }
    return text;
}

std::optional<double> ParseProfileFloat(std::string_view text, char decimal_separator) {
    return text::parse_decimal(trim_blanks(text), decimal_separator);
}

std::string FolderOfPath(std::string_view path) {
    const auto cut = path.find_last_of("\\:");
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

}  // namespace flinter
