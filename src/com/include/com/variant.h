// An owning VARIANT: initialised on construction, cleared on destruction.
// Header-only; no thread affinity; copying throws hresult_error on failure.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

namespace flinter {

class variant {
public:
    variant() noexcept { ::VariantInit(&v_); }
    explicit variant(const VARIANT& source);   // deep copy
    variant(std::int32_t value) noexcept;
    variant(bool value) noexcept;
    variant(const wchar_t* text);
    variant(const std::wstring& text) : variant(text.c_str()) {}
    explicit variant(IDispatch* object) noexcept;  // AddRefs
    variant(const variant& other) : variant(other.v_) {}
    variant(variant&& other) noexcept : v_(other.v_) { other.v_.vt = VT_EMPTY; }
    variant& operator=(variant other) noexcept {
        std::swap(v_, other.v_);
        return *this;
    }
    ~variant() { ::VariantClear(&v_); }

    // An "optional argument not given" value (VT_ERROR, DISP_E_PARAMNOTFOUND).
    static variant missing() noexcept;
    // A by-reference argument pointing at target, which must outlive the call.
    static variant by_ref(VARIANT& target) noexcept;

    const VARIANT& get() const noexcept { return v_; }
    VARIANT& get() noexcept { return v_; }
    // Clears the value and hands out its address for an out-parameter.
    VARIANT* put() noexcept {
        ::VariantClear(&v_);
        return &v_;
    }
    VARTYPE type() const noexcept { return v_.vt; }

    // Conversions by the automation rules; throw hresult_error when impossible.
    std::int32_t as_int() const;
    bool as_bool() const;
    std::wstring as_wstring() const;
    // The interface held (VT_DISPATCH/VT_UNKNOWN, also by reference);
    // null for VT_EMPTY/VT_NULL; throws for any other type.
    Microsoft::WRL::ComPtr<IUnknown> as_unknown() const;
    Microsoft::WRL::ComPtr<IDispatch> as_dispatch() const;

private:
    VARIANT v_;
};

}  // namespace flinter
