// Text forms of the typed values in "settings.ini": integers (decimal, "0x"/"$"
// hexadecimal), booleans as integers, colours as integers, and the day-count
// float in the locale's format. Portable, pure; throws only std::bad_alloc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flinter {

// A 32-bit integer: optional sign and decimal digits, or "0x"/"0X" followed by
// hexadecimal digits, or "$" followed by hexadecimal digits (up to 8 of them,
// taken as the 32-bit pattern). Anything else, including blanks, is no integer.
std::optional<std::int32_t> ParseProfileInteger(std::string_view text);

// Any non-zero integer is true; a text that is no integer yields fallback.
bool ParseProfileBoolean(std::string_view text, bool fallback);
std::string FormatProfileBoolean(bool value);

std::int32_t ParseProfileIntegerOr(std::string_view text, std::int32_t fallback);

// General format, 15 significant digits, decimal_separator in place of '.'.
std::string FormatProfileFloat(double value, char decimal_separator);
// The decimal form text::parse_decimal reads, with blanks and tabs around it
// allowed: only decimal_separator separates the fraction, an exponent is
// accepted. Not finite or not a number: nullopt.
std::optional<double> ParseProfileFloat(std::string_view text, char decimal_separator);

// The folder of an executable path, cut after its last backslash or colon;
// empty when the path has neither.
std::string FolderOfPath(std::string_view path);

}  // namespace flinter
