#include "net/url_parts.h"

#include <wininet.h>

#include <vector>

namespace flinter::net {
namespace {

constexpr DWORD kHostSize = 256, kUserSize = 128, kPasswordSize = 128, kPathSize = 2048, kExtraSize = 2048;
constexpr DWORD kCombinedSize = 2055;

}  // namespace

std::optional<url_parts> crack_url(const std::string& url) {
    std::vector<char> host(kHostSize), user(kUserSize), password(kPasswordSize), path(kPathSize),
        extra(kExtraSize);
    URL_COMPONENTSA c{};
    c.dwStructSize = sizeof c;
    c.lpszHostName = host.data();
    c.dwHostNameLength = kHostSize;
    c.lpszUserName = user.data();
    c.dwUserNameLength = kUserSize;
    c.lpszPassword = password.data();
    c.dwPasswordLength = kPasswordSize;
    c.lpszUrlPath = path.data();
    c.dwUrlPathLength = kPathSize;
    c.lpszExtraInfo = extra.data();
    c.dwExtraInfoLength = kExtraSize;
    if (!::InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), ICU_ESCAPE, &c)) return std::nullopt;
    // The lengths written back are the copied lengths, without the zero.
    return url_parts{c.nScheme,
                     std::string(host.data(), c.dwHostNameLength),
                     std::string(user.data(), c.dwUserNameLength),
                     std::string(password.data(), c.dwPasswordLength),
                     std::string(path.data(), c.dwUrlPathLength),
                     std::string(extra.data(), c.dwExtraInfoLength),
                     c.nPort};
}

std::optional<std::string> combine_url(const std::string& base, const std::string& relative) {
    std::vector<char> buffer(kCombinedSize);
    DWORD length = kCombinedSize;
    if (!::InternetCombineUrlA(base.c_str(), relative.c_str(), buffer.data(), &length, ICU_ENCODE_SPACES_ONLY))
        return std::nullopt;
    return std::string(buffer.data(), length);
}

}  // namespace flinter::net
