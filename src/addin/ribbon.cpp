#include "addin/ribbon.h"

#include "ui/resource_pictures.h"

namespace flinter {
namespace {

constexpr wchar_t kCustomUiNamespace[] = L"http://schemas.microsoft.com/office/2009/07/customui";

struct named_callback {
    const wchar_t* name;
    DISPID id;
};
constexpr named_callback kCallbacks[] = {
    {L"onLoad", kRibbonOnLoad},
    {L"onAction", kRibbonOnAction},
    {L"getImage", kRibbonGetImage},
};

// Text in a double-quoted attribute: the markup characters as references.
std::wstring attribute_text(const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'&': escaped += L"&amp;"; break;
            case L'<': escaped += L"&lt;"; break;
            case L'>': escaped += L"&gt;"; break;
            case L'"': escaped += L"&quot;"; break;
            case L'\r': escaped += L"&#13;"; break;
            case L'\n': escaped += L"&#10;"; break;
            case L'\t': escaped += L"&#9;"; break;
            default: escaped += c; break;
        }
    }
    return escaped;
}

void add_attribute(std::wstring& xml, const wchar_t* name, const std::wstring& value) {
    if (value.empty()) return;
    xml += L' ';
    xml += name;
    xml += L"=\"";
    xml += attribute_text(value);
    xml += L'"';
}

const wchar_t* callback_name(DISPID id) noexcept {
    for (const auto& callback : kCallbacks)
        if (callback.id == id) return callback.name;
    return L"";
}

}  // namespace

const ribbon_button* ribbon_group::find(const std::wstring& button_id) const noexcept {
    for (const ribbon_button& button : buttons)
        if (button.id == button_id) return &button;
    return nullptr;
}

std::wstring ribbon_xml(const ribbon_group& group) {
    std::wstring xml = L"<customUI";
    add_attribute(xml, L"xmlns", kCustomUiNamespace);
    add_attribute(xml, L"onLoad", callback_name(kRibbonOnLoad));
    xml += L"><ribbon><tabs><tab";
    add_attribute(xml, L"idMso", group.tab);
    xml += L"><group";
    add_attribute(xml, L"id", group.id);
    add_attribute(xml, L"label", group.label);
    xml += L'>';
    for (const ribbon_button& button : group.buttons) {
        xml += L"<button";
        add_attribute(xml, L"id", button.id);
        add_attribute(xml, L"label", button.label);
        add_attribute(xml, L"size", L"large");
        add_attribute(xml, L"screentip", button.screentip);
        add_attribute(xml, L"supertip", button.supertip);
        add_attribute(xml, L"tag", button.tag);
        add_attribute(xml, L"onAction", callback_name(kRibbonOnAction));
        add_attribute(xml, L"getImage", callback_name(kRibbonGetImage));
        xml += L"/>";
    }
    xml += L"</group></tab></tabs></ribbon></customUI>";
    return xml;
}

std::optional<DISPID> ribbon_callback_named(const wchar_t* name) noexcept {
    if (!name) return std::nullopt;
    for (const auto& callback : kCallbacks)
        if (::CompareStringOrdinal(name, -1, callback.name, -1, TRUE) == CSTR_EQUAL) return callback.id;
    return std::nullopt;
}

bool is_ribbon_callback(DISPID id) noexcept { return *callback_name(id) != L'\0'; }

Microsoft::WRL::ComPtr<IDispatch> ribbon_picture(const ribbon_button& button) {
    return owning_picture(load_bitmap_file_resource(button.large_picture));
}

}  // namespace flinter
