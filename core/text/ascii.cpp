// Byte-wise ASCII helpers; see ascii.h.
#include "core/text/ascii.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace flinter::text {

namespace {

bool is_blank_or_control(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string ascii_lower(std::string_view text) {
    std::string lowered;
    ascii_lower_into(text, lowered);
    return lowered;
}

void ascii_lower_into(std::string_view text, std::string& out) {
    out.assign(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

std::string_view trim_controls(std::string_view text) {
    while (!text.empty() && is_blank_or_control(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank_or_control(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::optional<double> parse_decimal(std::string_view text, char decimal_separator) {
    // Blanks around the number are tolerated, as the user's own number entry would.
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

    // Rewritten into the C locale's form so that from_chars reads it exactly.
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    bool digits = false;
    bool separator_seen = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            plain += c;
            digits = true;
        } else if (c == decimal_separator && !separator_seen) {
            plain += '.';
            separator_seen = true;
        } else {
            break;
        }
    }
    if (!digits) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        bool exponent_digits = false;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            plain += text[i];
            exponent_digits = true;
        }
        if (!exponent_digits) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;

    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc{} || end != plain.data() + plain.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace flinter::text
