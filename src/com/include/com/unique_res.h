// One move-only owner for every kind of Windows handle: closes it exactly once.
// Header-only; no thread affinity; never throws.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wininet.h>
#include <utility>

namespace flinter {

template <class T, auto Close, T Invalid = T{}>
class unique_res {
public:
    unique_res() noexcept = default;
    explicit unique_res(T value) noexcept : value_(value) {}
    unique_res(unique_res&& other) noexcept : value_(other.release()) {}
    unique_res& operator=(unique_res&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    unique_res(const unique_res&) = delete;
    unique_res& operator=(const unique_res&) = delete;
    ~unique_res() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid; }

    // Closes the held value; keeps GetLastError() so that callers can still report it.
    void reset(T value = Invalid) noexcept {
        if (value_ != Invalid) {
            const DWORD saved = ::GetLastError();
            Close(value_);
            ::SetLastError(saved);
        }
        value_ = value;
    }
    [[nodiscard]] T release() noexcept { return std::exchange(value_, Invalid); }
    // Closes the held value and hands out its address for an out-parameter.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid;
};

using unique_hmodule = unique_res<HMODULE, &::FreeLibrary>;
using unique_handle = unique_res<HANDLE, &::CloseHandle>;
using unique_hkey = unique_res<HKEY, &::RegCloseKey>;
using unique_hglobal = unique_res<HGLOBAL, &::GlobalFree>;
using unique_bstr = unique_res<BSTR, &::SysFreeString>;
using unique_hwnd = unique_res<HWND, &::DestroyWindow>;
using unique_hhook = unique_res<HHOOK, &::UnhookWindowsHookEx>;
using unique_hfont = unique_res<HFONT, &::DeleteObject>;
using unique_hbrush = unique_res<HBRUSH, &::DeleteObject>;
using unique_hbitmap = unique_res<HBITMAP, &::DeleteObject>;
using unique_hdc = unique_res<HDC, &::DeleteDC>;
using unique_hinternet = unique_res<HINTERNET, &::InternetCloseHandle>;
using unique_safearray = unique_res<SAFEARRAY*, &::SafeArrayDestroy>;

// A BSTR copy of a wide string; throws std::bad_alloc when out of memory.
unique_bstr make_bstr(const wchar_t* text);

}  // namespace flinter
