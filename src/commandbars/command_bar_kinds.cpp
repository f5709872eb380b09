#include "commandbars/command_bar_kinds.h"

#include <stdexcept>
#include <utility>

#include "com/late_bound.h"
#include "commandbars/command_bar.h"
#include "commandbars/command_bar_button.h"
#include "commandbars/definition_values.h"

namespace flinter {
namespace {

using definition::value;

constexpr property_entry<TafwCommandBarEdit> kEditProperties[] = {
    {"Style",
     [](TafwCommandBarEdit& e, const value& v) {
         e.SetStyle(enumerator_of<TafwMsoComboStyle>(v, combo_style_named, "combo style"));
     }},
    {"Text", [](TafwCommandBarEdit& e, const value& v) { e.SetText(text_of(v)); }},
    {"OnChange", [](TafwCommandBarEdit& e, const value& v) { e.SetOnChange(e.Bar().FindHandler(v)); }},
};

constexpr property_entry<TafwCommandBarDropDownList> kListProperties[] = {
    {"DropdownLines", [](TafwCommandBarDropDownList& l, const value& v) { l.SetDropdownLines(v.as_integer()); }},
    {"DropdownWidth", [](TafwCommandBarDropDownList& l, const value& v) { l.SetDropdownWidth(v.as_integer()); }},
    {"ListHeaderCount", [](TafwCommandBarDropDownList& l, const value& v) { l.SetListHeaderCount(v.as_integer()); }},
    {"ListIndex", [](TafwCommandBarDropDownList& l, const value& v) { l.SetListIndex(v.as_integer()); }},
};

}  // namespace

void TafwCommandBarEdit::Hold(Microsoft::WRL::ComPtr<IDispatch> found) {
    Bind(query_dispatch(found.Get(), office::IID__CommandBarComboBox));
}

bool TafwCommandBarEdit::RefreshControl() {
    const bool due = TafwCommandBarControl::RefreshControl();
    if (due && live()) record_version();
    return due;
}

void TafwCommandBarEdit::ReadProperty(const definition::property& p) {
    if (!read_from(kEditProperties, *this, p)) TafwCommandBarControl::ReadProperty(p);
}

void TafwCommandBarDropDownList::ReadProperty(const definition::property& p) {
    if (!read_from(kListProperties, *this, p)) TafwCommandBarEdit::ReadProperty(p);
}

void TafwCommandBarPopup::Hold(Microsoft::WRL::ComPtr<IDispatch> found) {
    Remember(query_dispatch(found.Get(), office::IID_CommandBarPopup));
}

bool TafwCommandBarPopup::RefreshControl() {
    const bool due = TafwCommandBarControl::RefreshControl();
    if (due && live()) record_version();
    return due;
}

void TafwCommandBarPopup::ReadProperty(const definition::property& p) {
    if (same_name(p.name, "ButtonTypes")) Controls_.ReadButtonTypes(p.v);
    else if (same_name(p.name, "Buttons")) Controls_.ReadButtons(p.v);
    else TafwCommandBarControl::ReadProperty(p);
}

void TafwCommandBarAdvancedControl::ReadProperty(const definition::property& p) {
    if (same_name(p.name, "Control")) SetControl(p.v.as_name());
    else TafwCommandBarControl::ReadProperty(p);
}

std::unique_ptr<TafwCommandBarControl> make_control(int kind, TafwCommandBarControls& owner) {
    switch (kind) {
        case kButtonKind: return std::make_unique<TafwCommandBarButton>(owner);
        case kEditKind: return std::make_unique<TafwCommandBarEdit>(owner);
        case kDropdownListKind: return std::make_unique<TafwCommandBarDropDownList>(owner);
        case kComboBoxKind: return std::make_unique<TafwCommandBarComboBox>(owner);
        case kPopupKind: return std::make_unique<TafwCommandBarPopup>(owner);
        case kControlKind: return std::make_unique<TafwCommandBarControl>(owner);
        case kAdvancedControlKind: return std::make_unique<TafwCommandBarAdvancedControl>(owner);
        default: throw std::out_of_range("no control kind " + std::to_string(kind));
    }
}

}  // namespace flinter
