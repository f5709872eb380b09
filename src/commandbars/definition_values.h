// Values of the stored definition as the command-bar model reads them:
// texts (UTF-8) as wide strings, colours by number or name, enumerators and
// sets by name. Each throws definition_error naming the value's line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commandbars/bar_enums.h"
#include "core/definition/stored_definition.h"
#include "framework/host_apps.h"

namespace flinter {

std::wstring text_of(const definition::value& v);
// A list of texts ("a" "b") as wide strings.
std::vector<std::wstring> texts_of(const definition::value& v);
std::int32_t color_of(const definition::value& v);
TafwOLItemTypes item_types_of(const definition::value& v);
TafwHostAppSet host_apps_of(const definition::value& v);

// A property of the stored definition and the setter that takes its value.
template <class Target>
using property_setter = void (*)(Target&, const definition::value&);
template <class Target>
using property_entry = std::pair<std::string_view, property_setter<Target>>;

// Runs the setter of p's name from table; false when the table has none.
template <class Target, std::size_t N>
bool read_from(const property_entry<Target> (&table)[N], Target& target, const definition::property& p) {
    for (const auto& [name, set] : table) {
        if (same_name(name, p.name)) {
            set(target, p.v);
            return true;
        }
    }
    return false;
}

// The enumerator a name stands for, by lookup; what names the enumeration in the error.
template <class Enum>
Enum enumerator_of(const definition::value& v, std::optional<int> (*lookup)(std::string_view) noexcept,
                   const char* what) {
    if (auto found = lookup(v.as_name())) return static_cast<Enum>(*found);
    throw definition::definition_error(v.line, std::string("not a ") + what + ": " + v.as_name());
}

}  // namespace flinter
