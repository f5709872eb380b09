// The framework's own refusals ("The AddInName property can not be empty."):
// exact texts for the user and for COM error information, with an HRESULT
// when one applies (0 when none does: a boundary then answers with its own
// result). Thread-agnostic.
#pragma once

#include <windows.h>

#include <source_location>
#include <string>

#include "com/hresult_error.h"

namespace flinter {

class framework_error : public hresult_error {
public:
    explicit framework_error(const std::string& message, HRESULT code = 0,
                             std::source_location where = std::source_location::current())
        : hresult_error(code, message, where) {}
};

}  // namespace flinter
