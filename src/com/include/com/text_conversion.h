// Conversions between UTF-16 and the two 8-bit encodings the add-in meets:
// UTF-8 (messages, names, the stored definitions) and the system code page
// (the host's 8-bit texts and the windows' controls). Any thread; never
// throw on bad input.
#pragma once

#include <string>
#include <string_view>

namespace flinter {

std::wstring widen(const std::string& text);
// Empty for a null text.
std::string narrow(const wchar_t* text);

std::wstring acp_to_wide(std::string_view text);
std::string wide_to_acp(std::wstring_view text);

}  // namespace flinter
