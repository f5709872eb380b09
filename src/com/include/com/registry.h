// A registry key owned by unique_hkey, with typed reads and writes of its
// values. Any thread; writes throw hresult_error, reads of absent values give
// nullopt.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "com/unique_res.h"

namespace flinter {

class registry_key {
public:
    // Opens or creates root\path; throws hresult_error when that is refused.
    static registry_key create(HKEY root, const std::wstring& path, REGSAM access = KEY_READ | KEY_WRITE);
    // Opens root\path; nullopt when it does not exist or cannot be opened.
    static std::optional<registry_key> open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);

    HKEY get() const noexcept { return key_.get(); }

    // A null name is the key's default value.
    void set_string(const wchar_t* name, const std::wstring& value);
    void set_dword(const wchar_t* name, DWORD value);
    std::optional<std::wstring> string(const wchar_t* name) const;
    std::optional<DWORD> dword(const wchar_t* name) const;
    // True when the value existed and is gone now.
    bool delete_value(const wchar_t* name) noexcept;

    std::vector<std::wstring> subkeys() const;
    std::vector<std::wstring> value_names() const;

private:
    explicit registry_key(unique_hkey key) noexcept : key_(std::move(key)) {}
    unique_hkey key_;
};

// Deletes root\path with everything below it; true when it existed.
bool delete_key_tree(HKEY root, const std::wstring& path) noexcept;
bool key_exists(HKEY root, const std::wstring& path) noexcept;

}  // namespace flinter
