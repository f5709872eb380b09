// The version records of non-temporary bars and controls, below the add-in
// key in HKEY_CURRENT_USER: "CommandBars" (value per bar name) and "Controls"
// (value per OfficeTag), each the PropertyChanged stamp last pushed to the
// host. Host UI thread; writes throw hresult_error, reads never throw.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "commandbars/command_bar_module.h"

namespace flinter::records {

inline constexpr wchar_t kBars[] = L"CommandBars";
inline constexpr wchar_t kControls[] = L"Controls";

std::optional<DWORD> read(const command_bar_module& module, const wchar_t* section, const std::wstring& name) noexcept;
void write(const command_bar_module& module, const wchar_t* section, const std::wstring& name, std::int32_t stamp);
void erase(const command_bar_module& module, const wchar_t* section, const std::wstring& name) noexcept;
// The value names of a section; nullopt when its key does not exist.
std::optional<std::vector<std::wstring>> names(const command_bar_module& module, const wchar_t* section);
// Whether the recorded stamp is present and equals stamp.
bool matches(const command_bar_module& module, const wchar_t* section, const std::wstring& name,
             std::int32_t stamp) noexcept;

}  // namespace flinter::records
