// What the update check leaves behind, as its tests and the hostile server
// campaign read it: a key of "settings.ini", the link, a stored day count.
#pragma once

#include <windows.h>

#include <string>

#include "core/settings/settings_values.h"
#include "settings/settings_window.h"

namespace flinter::testing_support {

// The key's value in section "general", or "<absent>".
inline std::string profile_value(const std::string& ini, const char* key) {
    char value[256] = {};
    ::GetPrivateProfileStringA("general", key, "<absent>", value, sizeof value, ini.c_str());
    return value;
}

// Whether "Update available" shows.
inline bool link_shown(const Tfset& window) {
    return (::GetWindowLongW(window.control(Tfset::Label11), GWL_STYLE) & WS_VISIBLE) != 0;
}

// A day count as the store writes it.
inline std::string day_count(double value) { return FormatProfileFloat(value, UserDecimalSeparator()); }

}  // namespace flinter::testing_support
