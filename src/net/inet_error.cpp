#include "net/inet_error.h"

#include <wininet.h>

#include <array>

#include "core/net/http_rules.h"

namespace flinter::net {
namespace {

constexpr DWORD kErrorTextSize = 256;
constexpr DWORD kResponseTextSize = 4097;

std::string message_table_text(DWORD code) {
    std::array<char, kErrorTextSize> buffer{};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     ::GetModuleHandleA("wininet.dll"), code, 0, buffer.data(),
                                     kErrorTextSize, nullptr);
    return std::string(buffer.data(), n < kErrorTextSize ? n : 0);
}

std::string last_response_message(const std::string& text) {
    std::array<char, kResponseTextSize> response{};
    DWORD number = 0;
    DWORD length = kResponseTextSize;
    if (!::InternetGetLastResponseInfoA(&number, response.data(), &length)) response[0] = '\0';
    response.back() = '\0';
    return extended_error_message(text, static_cast<long>(number), response.data());
}

}  // namespace

std::string inet_error_text(DWORD code) {
    std::string text = message_table_text(code);
    if (text.empty()) text = "WinInet error " + std::to_string(code);
    if (code == ERROR_INTERNET_EXTENDED_ERROR) return last_response_message(text);
    return text;
}

}  // namespace flinter::net
