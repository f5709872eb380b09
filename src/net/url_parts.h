// Splitting and rebuilding the HTTP client's address with WinInet's URL
// functions. Any thread; never throw except std::bad_alloc. On failure they
// return nothing and leave GetLastError() for the caller to report.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace flinter::net {

struct url_parts {
    int scheme = 0;  // INTERNET_SCHEME_*
    std::string host, user, password, path, extra;
    int port = 0;
};

std::optional<url_parts> crack_url(const std::string& url);
std::optional<std::string> combine_url(const std::string& base, const std::string& relative);

}  // namespace flinter::net
