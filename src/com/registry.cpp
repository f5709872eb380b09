#include "com/registry.h"

#include "com/hresult_error.h"

namespace flinter {
namespace {

void check_status(LSTATUS status) {
    if (status != ERROR_SUCCESS) check(HRESULT_FROM_WIN32(status));
}

}  // namespace

registry_key registry_key::create(HKEY root, const std::wstring& path, REGSAM access) {
    unique_hkey key;
    check_status(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access, nullptr, key.put(), nullptr));
    return registry_key(std::move(key));
}

std::optional<registry_key> registry_key::open(HKEY root, const std::wstring& path, REGSAM access) {
    unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) return std::nullopt;
    return registry_key(std::move(key));
}

void registry_key::set_string(const wchar_t* name, const std::wstring& value) {
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    check_status(::RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

void registry_key::set_dword(const wchar_t* name, DWORD value) {
    check_status(::RegSetValueExW(key_.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

std::optional<std::wstring> registry_key::string(const wchar_t* name) const {
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key_.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key_.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::optional<DWORD> registry_key::dword(const wchar_t* name) const {
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (::RegQueryValueExW(key_.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

bool registry_key::delete_value(const wchar_t* name) noexcept {
    return ::RegDeleteValueW(key_.get(), name) == ERROR_SUCCESS;
}

std::vector<std::wstring> registry_key::subkeys() const {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumKeyExW(key_.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::wstring> registry_key::value_names() const {
    std::vector<std::wstring> names;
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumValueW(key_.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

bool delete_key_tree(HKEY root, const std::wstring& path) noexcept {
    return ::RegDeleteTreeW(root, path.c_str()) == ERROR_SUCCESS;
}

bool key_exists(HKEY root, const std::wstring& path) noexcept {
    return registry_key::open(root, path).has_value();
}

}  // namespace flinter
