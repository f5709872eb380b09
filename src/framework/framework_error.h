// The framework's own refusals ("The AddInName property can not be empty."):
// exact texts for the user and for COM error information, with an HRESULT
// when one applies (0 when none does). Thread-agnostic.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace flinter {

class framework_error : public std::runtime_error {
public:
    explicit framework_error(const std::string& message, HRESULT code = 0)
        : std::runtime_error(message), code_(code) {}
    HRESULT code() const noexcept { return code_; }

private:
    HRESULT code_;
};

}  // namespace flinter
