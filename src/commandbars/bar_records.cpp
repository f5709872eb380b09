#include "commandbars/bar_records.h"

#include "com/registry.h"

namespace flinter::records {
namespace {

std::wstring section_path(const command_bar_module& module, const wchar_t* section) {
    return module.addin_key() + L"\\" + section;
}

}  // namespace

std::optional<DWORD> read(const command_bar_module& module, const wchar_t* section,
                          const std::wstring& name) noexcept {
    try {
        if (auto key = registry_key::open(HKEY_CURRENT_USER, section_path(module, section)))
            return key->dword(name.c_str());
    } catch (...) {
    }
    return std::nullopt;
}

void write(const command_bar_module& module, const wchar_t* section, const std::wstring& name, std::int32_t stamp) {
    registry_key::create(HKEY_CURRENT_USER, section_path(module, section)).set_dword(name.c_str(),
                                                                                    static_cast<DWORD>(stamp));
}

void erase(const command_bar_module& module, const wchar_t* section, const std::wstring& name) noexcept {
    try {
        if (auto key = registry_key::open(HKEY_CURRENT_USER, section_path(module, section), KEY_SET_VALUE))
            key->delete_value(name.c_str());
    } catch (...) {
    }
}

std::optional<std::vector<std::wstring>> names(const command_bar_module& module, const wchar_t* section) {
    auto key = registry_key::open(HKEY_CURRENT_USER, section_path(module, section));
    if (!key) return std::nullopt;
    return key->value_names();
}

bool matches(const command_bar_module& module, const wchar_t* section, const std::wstring& name,
             std::int32_t stamp) noexcept {
    const auto recorded = read(module, section, name);
    return recorded && *recorded == static_cast<DWORD>(stamp);
}

}  // namespace flinter::records
