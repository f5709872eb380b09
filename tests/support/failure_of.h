// The HRESULT an action failed with through the add-in's error type, or S_OK.
#pragma once

#include <functional>

#include "com/hresult_error.h"

namespace flinter::testing_support {

inline HRESULT failure_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const hresult_error& e) {
        return e.code();
    }
    return S_OK;
}

}  // namespace flinter::testing_support
