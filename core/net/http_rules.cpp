#include "core/net/http_rules.h"

#include <array>

namespace flinter::net {
namespace {

// Indexed by TInternetFlags.
constexpr std::array<std::uint32_t, 17> kWinInetFlag = {
    0x00010000,  // ifCacheIfNetFail
    0x04000000,  // ifDontCache
    0x00000400,  // ifHyperLink
    0x00001000,  // ifIgnoreCertCnInvalid
    0x00002000,  // ifIgnoreCertDateInvalid
    0x00008000,  // ifIgnoreRedirectToHttp
    0x00004000,  // ifIgnoreRedirectToHttps
    0x00400000,  // ifKeepConnection
    0x00000010,  // ifNeedFile
    0x00040000,  // ifNoAuth
    0x00200000,  // ifNoAutoRedirect
    0x04000000,  // ifNoCacheWrite: the same bit as ifDontCache
    0x00080000,  // ifNoCookies
    0x00000200,  // ifNoUi
    0x00000100,  // ifPragmaNoCache
    0x80000000,  // ifReload
    0x00000800,  // ifResynchronize
};

constexpr std::size_t kMaxAcceptTypes = 100;

}  // namespace

internet_flag_set default_internet_flags() noexcept {
    return {ifIgnoreCertCnInvalid, ifIgnoreCertDateInvalid, ifIgnoreRedirectToHttp,
            ifIgnoreRedirectToHttps, ifKeepConnection, ifNoUi, ifReload};
}

std::uint32_t request_flags_for(internet_flag_set flags) noexcept {
    std::uint32_t result = 0;
    for (unsigned m = 0; m < kWinInetFlag.size(); ++m)
        if (flags.contains(static_cast<TInternetFlags>(m))) result |= kWinInetFlag[m];
    return result;
}

std::uint32_t open_request_flags(std::uint32_t request_flags, bool ssl) noexcept {
    return request_flags | (ssl ? kInternetFlagSecure : 0);
}

std::string normalize_extra_info(std::string extra) {
    if (!extra.empty() && extra.front() != '#' && extra.front() != '?') extra.insert(0, 1, '?');
    return extra;
}

std::string url_base(bool ssl, std::string_view host, int port) {
    std::string base = ssl ? "https://" : "http://";
    base += host;
    if (port != 80) {
        base += ':';
        base += std::to_string(port);
    }
    return base;
}

std::string request_header_block(const std::vector<std::string>& lines) {
    if (lines.empty()) return {};
    std::string block;
    for (const auto& line : lines) block += line + "\r\n";
    return block + "\r\n";
}

std::vector<const char*> accept_type_array(const std::vector<std::string>& lines) {
    bool any_text = false;
    for (const auto& line : lines) any_text = any_text || !line.empty();
    if (!any_text) return {};
    std::vector<const char*> types;
    for (std::size_t i = 0; i < lines.size() && i < kMaxAcceptTypes; ++i)
        types.push_back(lines[i].empty() ? nullptr : lines[i].c_str());
    types.push_back(nullptr);
    return types;
}

std::string text_until_zero(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find('\0')));
}

chunk_fit fit_response_chunk(std::size_t held, std::size_t incoming, std::size_t limit) noexcept {
    if (limit == 0 || (held <= limit && incoming <= limit - held)) return {incoming, false};
    // A data handler may have lowered the limit below what is already held.
    return {held < limit ? limit - held : 0, true};
}

std::string extended_error_message(std::string_view text, long number, std::string_view response) {
    std::string message(text);
    message += "\r\nExtended error:";
    message += std::to_string(number);
    message += " - ";
    message += response;
    return message + "\r\n";
}

}  // namespace flinter::net
