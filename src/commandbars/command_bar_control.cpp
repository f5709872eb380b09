#include "commandbars/command_bar_control.h"

#include <objbase.h>

#include <utility>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "commandbars/bar_records.h"
#include "commandbars/command_bar.h"
#include "commandbars/command_bar_kinds.h"
#include "commandbars/definition_values.h"
#include "commandbars/refusal.h"
#include "core/bytes/little_endian.h"

namespace flinter {
namespace {

using definition::value;

// The base properties of every kind, by their stored names.
constexpr property_entry<TafwCommandBarControl> kControlProperties[] = {
    {"Caption", [](TafwCommandBarControl& c, const value& v) { c.SetCaption(text_of(v)); }},
    {"TooltipText", [](TafwCommandBarControl& c, const value& v) { c.SetTooltipText(text_of(v)); }},
    {"DescriptionText", [](TafwCommandBarControl& c, const value& v) { c.SetDescriptionText(text_of(v)); }},
    {"OfficeTag", [](TafwCommandBarControl& c, const value& v) { c.SetOfficeTag(text_of(v)); }},
    {"OfficeID", [](TafwCommandBarControl& c, const value& v) { c.SetOfficeID(v.as_integer()); }},
    {"Parameter", [](TafwCommandBarControl& c, const value& v) { c.SetParameter(text_of(v)); }},
    {"BeginGroup", [](TafwCommandBarControl& c, const value& v) { c.SetBeginGroup(v.as_boolean()); }},
    {"Enabled", [](TafwCommandBarControl& c, const value& v) { c.SetEnabled(v.as_boolean()); }},
    {"Visible", [](TafwCommandBarControl& c, const value& v) { c.SetVisible(v.as_boolean()); }},
    {"Height", [](TafwCommandBarControl& c, const value& v) { c.SetHeight(v.as_integer()); }},
    {"Width", [](TafwCommandBarControl& c, const value& v) { c.SetWidth(v.as_integer()); }},
    {"HelpContextID", [](TafwCommandBarControl& c, const value& v) { c.SetHelpContextID(v.as_integer()); }},
    {"HelpFile", [](TafwCommandBarControl& c, const value& v) { c.SetHelpFile(text_of(v)); }},
    {"Priority", [](TafwCommandBarControl& c, const value& v) { c.SetPriority(v.as_integer()); }},
    {"Before", [](TafwCommandBarControl& c, const value& v) { c.SetBefore(v.as_integer()); }},
    {"BeforeID", [](TafwCommandBarControl& c, const value& v) { c.SetBeforeID(v.as_integer()); }},
    {"AfterID", [](TafwCommandBarControl& c, const value& v) { c.SetAfterID(v.as_integer()); }},
    {"Temporary", [](TafwCommandBarControl& c, const value& v) { c.SetTemporary(v.as_boolean()); }},
    {"olExplorerItemTypes", [](TafwCommandBarControl& c, const value& v) { c.SetolExplorerItemTypes(item_types_of(v)); }},
    {"olInspectorItemTypes", [](TafwCommandBarControl& c, const value& v) { c.SetolInspectorItemTypes(v.as_set()); }},
    {"olItemTypeAction",
     [](TafwCommandBarControl& c, const value& v) {
         c.SetolItemTypeAction(enumerator_of<TafwOLItemTypeAction>(v, item_type_action_named, "item type action"));
     }},
    {"Tag", [](TafwCommandBarControl& c, const value& v) { c.SetTag(v.as_integer()); }},
    {"PropertyChanged", [](TafwCommandBarControl& c, const value& v) { c.SetPropertyChanged(v.as_integer()); }},
};

// The host bar a control's placement is resolved in: its popup's bar, else the live bar.
Microsoft::WRL::ComPtr<IDispatch> placement_bar(const TafwCommandBarControl& control) {
    if (const TafwCommandBarPopup* popup = control.Popup()) {
        if (!popup->live()) return nullptr;
        return get_object(popup->live(), L"CommandBar");
    }
    return control.Bar().live();
}

}  // namespace

std::wstring new_office_tag() {
    GUID guid{};
    check(::CoCreateGuid(&guid));
    wchar_t text[39] = {};
    ::StringFromGUID2(guid, text, 39);
    return text;
}

TafwCommandBarControl::TafwCommandBarControl(TafwCommandBarControls& owner, const char* class_name)
    : component(owner.NextControlName(), class_name),
      host_bound(owner.Bar().module()),
      owner_(owner),
      OfficeTag_(new_office_tag()),
      Temporary_(owner.Bar().Temporary()),
      olExplorerItemTypes_(owner.Bar().DefaultItemTypes()) {}

void TafwCommandBarControl::SetCaption(const std::wstring& value) {
    Caption_ = value;
    push(L"Caption", value);
}
void TafwCommandBarControl::SetTooltipText(const std::wstring& value) {
    TooltipText_ = value;
    push(L"TooltipText", value);
}
void TafwCommandBarControl::SetDescriptionText(const std::wstring& value) {
    DescriptionText_ = value;
    push(L"DescriptionText", value);
}
void TafwCommandBarControl::SetOfficeTag(const std::wstring& value) {
    OfficeTag_ = value;
    push(L"Tag", value);
}
void TafwCommandBarControl::SetParameter(const std::wstring& value) {
    Parameter_ = value;
    push(L"Parameter", value);
}
void TafwCommandBarControl::SetBeginGroup(bool value) {
    BeginGroup_ = value;
    push(L"BeginGroup", value);
}
void TafwCommandBarControl::SetEnabled(bool value) {
    Enabled_ = value;
    if (push(L"Enabled", value) && module().HostKind() == ohaOutlook) nudge_width();
}
void TafwCommandBarControl::SetVisible(bool value) {
    Visible_ = value;
    push(L"Visible", value);
}
void TafwCommandBarControl::SetHeight(std::int32_t value) {
    Height_ = value;
    push(L"Height", value);
}
void TafwCommandBarControl::SetWidth(std::int32_t value) {
    Width_ = value;
    push(L"Width", value);
}
void TafwCommandBarControl::SetHelpContextID(std::int32_t value) {
    HelpContextID_ = value;
    push(L"HelpContextId", value);
}
void TafwCommandBarControl::SetHelpFile(const std::wstring& value) {
    HelpFile_ = value;
    push(L"HelpFile", value);
}
void TafwCommandBarControl::SetPriority(std::int32_t value) {
    Priority_ = value;
    push(L"Priority", value);
}

void TafwCommandBarControl::nudge_width() noexcept {
    try {
        put(live(), L"Width", variant(get(live(), L"Width").as_int() + 1));
        put(live(), L"Width", variant(get(live(), L"Width").as_int() - 1));
    } catch (...) {
        module().report_error();
    }
}

std::int32_t TafwCommandBarControl::Index() const { return pull(L"Index", std::int32_t{1}); }

int TafwCommandBarControl::CollectionPosition() const noexcept { return static_cast<int>(owner_.IndexOf(*this)) + 1; }

TafwCommandBar& TafwCommandBarControl::Bar() const noexcept { return owner_.Bar(); }
TafwCommandBarPopup* TafwCommandBarControl::Popup() const noexcept { return owner_.Popup(); }

void TafwCommandBarControl::Remember(Microsoft::WRL::ComPtr<IDispatch> host) {
    const bool same = same_object(live_.Get(), host.Get());
    live_ = std::move(host);
    if (!same) host_changed();
}

void TafwCommandBarControl::Bind(Microsoft::WRL::ComPtr<IDispatch> host) {
    Remember(std::move(host));
    module().bind_events(*this);
}

void TafwCommandBarControl::Unbind() noexcept {
    live_.Reset();
    host_changed();
    try {
        module().bind_events(*this);
    } catch (...) {
        module().report_error();
    }
}

bool TafwCommandBarControl::RefreshControl() {
    const bool due = Temporary_ || !records::matches(module(), records::kControls, OfficeTag_, PropertyChanged_);
    if (!due || !live_) return due;
    if (!Temporary_ && !module().first_start()) move_into_place();
    SetBeginGroup(BeginGroup_);
    SetCaption(Caption_);
    SetDescriptionText(DescriptionText_);
    SetEnabled(Enabled_);
    if (Height_ != 0) SetHeight(Height_);
    SetHelpContextID(HelpContextID_);
    SetHelpFile(HelpFile_);
    SetParameter(Parameter_);
    SetPriority(Priority_);
    SetOfficeTag(OfficeTag_);
    SetTooltipText(TooltipText_);
    SetVisible(Visible_);
    if (Width_ != 0) SetWidth(Width_);
    return due;
}

void TafwCommandBarControl::record_version() {
    if (!Temporary_) records::write(module(), records::kControls, OfficeTag_, PropertyChanged_);
}

void TafwCommandBarControl::move_into_place() {
    try {
        const std::int32_t now = Index();
        auto move_before = [this](std::int32_t before) { call(live(), L"Move", {omitted(), variant(before)}); };
        if (Before_ != 0 && Before_ != now) move_before(Before_);
        if (Before_ == 0 && BeforeID_ == 0 && AfterID_ == 0 && !Bar().BuiltIn()) {
            const int wanted = CollectionPosition();
            if (wanted != now) move_before(now < wanted ? wanted + 1 : wanted);
        }
        if (BeforeID_ == 0 && AfterID_ == 0) return;
        const auto bar = placement_bar(*this);
        const std::int32_t id = BeforeID_ != 0 ? BeforeID_ : AfterID_;
        const auto reference =
            bar ? object_or_null(call(bar.Get(), L"FindControl", {omitted(), variant(id), omitted(), omitted(), variant(true)}))
                : nullptr;
        if (!reference) return;
        const std::int32_t at = get(reference.Get(), L"Index").as_int();
        if (BeforeID_ != 0 && at != now + 1) move_before(at);
        if (BeforeID_ == 0 && at + 1 != now) move_before(at + 1);
    } catch (...) {
        module().report_error();
    }
}

void TafwCommandBarControl::ReadProperty(const definition::property& p) {
    if (!read_from(kControlProperties, *this, p)) unknown_property(p);
}

void TafwCommandBarControl::unknown_property(const definition::property& p) const {
    throw definition::definition_error(p.v.line, "no property " + p.name + " in " + class_name());
}

// ---- collection ----

TafwCommandBarControl& TafwCommandBarControls::Add(int kind) {
    if (kind == kAdvancedControlKind) {
        if (popup_) raise_advanced_in_popup();
        if (bar_.Position() == afwMsoBarPopup || bar_.Position() == afwMsoBarMenuBar) bar_.SetPosition(afwMsoBarTop);
        bar_.SetProtection(afwMsoBarNoChangeDock);
    }
    items_.push_back(make_control(kind, *this));
    return *items_.back();
}

std::string TafwCommandBarControls::NextControlName() const {
    const component& owner = popup_ ? static_cast<const component&>(*popup_) : bar_;
    return owner.name() + "Controls" + std::to_string(items_.size());
}

std::size_t TafwCommandBarControls::IndexOf(const TafwCommandBarControl& control) const noexcept {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == &control) return i;
    return items_.size();
}

void TafwCommandBarControls::ReadButtonTypes(const definition::value& v) {
    const auto& bytes = v.as_bytes();
    if (bytes.size() < 4) throw definition::definition_error(v.line, "ButtonTypes without a count");
    const std::uint32_t count = little_endian::read32(bytes, 0);
    if (count > (bytes.size() - 4) / 4) throw definition::definition_error(v.line, "ButtonTypes shorter than its count");
    kinds_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        const int kind = static_cast<int>(little_endian::read32(bytes, 4 + 4 * i) & 0x7F);
        if (kind >= kControlKindCount)
            throw definition::definition_error(v.line, "ButtonTypes names an unknown kind " + std::to_string(kind));
        kinds_.push_back(kind);
    }
}

void TafwCommandBarControls::ReadButtons(const definition::value& v) {
    const auto& items = v.as_items();
    Clear();
    if (items.size() > kinds_.size())
        throw definition::definition_error(v.line, "Buttons lists more items than ButtonTypes");
    for (std::size_t i = 0; i < items.size(); ++i) {
        TafwCommandBarControl& control = Add(kinds_[i]);
        for (const definition::property& p : items[i]) control.ReadProperty(p);
    }
}

}  // namespace flinter
