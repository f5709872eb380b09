// EInetError, the error the HTTP client raises, and WinInet's message texts.
// Thread-agnostic; the text lookups never throw except std::bad_alloc.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace flinter::net {

class EInetError : public std::runtime_error {
public:
    EInetError(DWORD code, const std::string& message) : std::runtime_error(message), code_(code) {}
    // The WinInet or system code; 0 for the component's own refusals.
    DWORD code() const noexcept { return code_; }

private:
    DWORD code_;
};

// WinInet's own text for a code (from wininet.dll's message table); for
// ERROR_INTERNET_EXTENDED_ERROR it adds the server's last response text.
// A code without a text gets "WinInet error <code>", so no failure goes unnamed.
std::string inet_error_text(DWORD code);

}  // namespace flinter::net
