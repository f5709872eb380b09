#include "commandbars/definition_values.h"

#include <array>
#include <utility>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "commandbars/button_glyph.h"

namespace flinter {

std::wstring text_of(const definition::value& v) { return widen(v.as_text()); }

std::vector<std::wstring> texts_of(const definition::value& v) {
    std::vector<std::wstring> texts;
    for (const std::string& text : v.as_strings()) texts.push_back(widen(text));
    return texts;
}

std::int32_t color_of(const definition::value& v) {
    if (std::holds_alternative<std::int32_t>(v.data)) return v.as_integer();
    static constexpr std::array<std::pair<std::string_view, std::int32_t>, 5> named = {{
        {"clBlack", clBlack}, {"clWhite", clWhite}, {"clFuchsia", clFuchsia},
        {"clDefault", clDefault}, {"clBtnFace", clBtnFace},
    }};
    for (const auto& [name, color] : named)
        if (same_name(name, v.as_name())) return color;
    throw definition::definition_error(v.line, "not a colour: " + v.as_name());
}

TafwOLItemTypes item_types_of(const definition::value& v) {
    TafwOLItemTypes types;
    for (const std::string& name : v.as_set()) {
        const auto type = item_type_named(name);
        if (!type) throw definition::definition_error(v.line, "not an item type: " + name);
        types.insert(static_cast<TafwOLItemType>(*type));
    }
    return types;
}

TafwHostAppSet host_apps_of(const definition::value& v) {
    TafwHostAppSet apps;
    for (const std::string& name : v.as_set()) {
        const auto app = host_app_from_name(name);
        if (!app) throw definition::definition_error(v.line, "not a host application: " + name);
        apps.insert(*app);
    }
    return apps;
}

}  // namespace flinter
