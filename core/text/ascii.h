// Byte-wise text helpers for 8-bit header text in the system code page:
// only the ASCII range is interpreted, every other byte passes unchanged.
// Pure functions; throw only std::bad_alloc.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flinter::text {

// 'A'..'Z' become 'a'..'z'; everything else, 8-bit bytes included, is kept.
std::string ascii_lower(std::string_view text);
// The same into out, whose storage is reused.
void ascii_lower_into(std::string_view text, std::string& out);

// Drops leading and trailing blanks and control characters (bytes 0x00-0x20).
std::string_view trim_controls(std::string_view text);

// The lines of a text: CR LF, a lone CR and a lone LF each end one, and a final
// break opens no further line (so "" has none and "\r\n" one empty line).
// The views point into text.
std::vector<std::string_view> split_lines(std::string_view text);

// A decimal number written with the given separator: optional blanks around,
// optional sign, digits with at most one separator, optional exponent.
// Empty on anything else, and on values a double cannot hold.
std::optional<double> parse_decimal(std::string_view text, char decimal_separator);

}  // namespace flinter::text
