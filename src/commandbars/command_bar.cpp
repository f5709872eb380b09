#include "commandbars/command_bar.h"

#include <algorithm>
#include <utility>

#include "commandbars/definition_values.h"
#include "commandbars/refusal.h"

namespace flinter {
namespace {

using definition::value;

command_bar_module& checked_owner(command_bar_module* owner, const char* bar_class) {
    if (!owner) raise_container(bar_class, {});
    return *owner;
}

constexpr property_entry<TafwCommandBar> kBarProperties[] = {
    {"CommandBarName", [](TafwCommandBar& b, const value& v) { b.SetCommandBarName(text_of(v)); }},
    {"Position",
     [](TafwCommandBar& b, const value& v) {
         b.SetPosition(enumerator_of<TafwMsoBarPosition>(v, position_named, "bar position"));
     }},
    {"Protection",
     [](TafwCommandBar& b, const value& v) {
         b.SetProtection(enumerator_of<TafwMsoBarProtection>(v, protection_named, "bar protection"));
     }},
    {"Enabled", [](TafwCommandBar& b, const value& v) { b.SetEnabled(v.as_boolean()); }},
    {"Visible", [](TafwCommandBar& b, const value& v) { b.SetVisible(v.as_boolean()); }},
    {"CommandBarLeft", [](TafwCommandBar& b, const value& v) { b.SetCommandBarLeft(v.as_integer()); }},
    {"CommandBarTop", [](TafwCommandBar& b, const value& v) { b.SetCommandBarTop(v.as_integer()); }},
    {"RowIndex", [](TafwCommandBar& b, const value& v) { b.SetRowIndex(v.as_integer()); }},
    {"Temporary", [](TafwCommandBar& b, const value& v) { b.SetTemporary(v.as_boolean()); }},
    {"SupportedApps", [](TafwCommandBar& b, const value& v) { b.SetSupportedApps(host_apps_of(v)); }},
    {"ButtonTypes", [](TafwCommandBar& b, const value& v) { b.Controls().ReadButtonTypes(v); }},
    {"Buttons", [](TafwCommandBar& b, const value& v) { b.Controls().ReadButtons(v); }},
    {"PropertyChanged", [](TafwCommandBar& b, const value& v) { b.SetPropertyChanged(v.as_integer()); }},
};

}  // namespace

TafwCommandBar::TafwCommandBar(command_bar_module* owner, std::string name)
    : TafwCommandBar(owner, std::move(name), "TafwCommandBar", afwMsoBarFloating, false,
                     owner ? owner->SupportedApps() : TafwHostAppSet{}) {}

TafwCommandBar::TafwCommandBar(command_bar_module* owner, std::string name, const char* class_name,
                               TafwMsoBarPosition position, bool temporary, TafwHostAppSet apps)
    : component(std::move(name), class_name),
      host_bound(checked_owner(owner, class_name)),
      Position_(position),
      Temporary_(temporary),
      SupportedApps_(apps) {
    module().bars_.push_back(this);
}

TafwCommandBar::~TafwCommandBar() { std::erase(module().bars_, this); }

void TafwCommandBar::SetCommandBarName(const std::wstring& value) {
    if (value.empty()) raise_empty_property("CommandBarName");
    CommandBarName_ = value;
    push(L"Name", value);
    if (NameLocal_.empty()) {
        NameLocal_ = value;
        push(L"NameLocal", value);
    }
}

TafwMsoBarPosition TafwCommandBar::Position() const {
    return position_from_host(pull(L"Position", host_position(Position_))).value_or(Position_);
}

void TafwCommandBar::SetPosition(TafwMsoBarPosition value) {
    if ((value == afwMsoBarPopup || value == afwMsoBarMenuBar) && HasAdvancedControl()) raise_advanced_bar_position();
    Position_ = value;
    push(L"Position", host_position(value));
}

TafwMsoBarProtection TafwCommandBar::Protection() const {
    return protection_from_host(pull(L"Protection", host_protection(Protection_)));
}

void TafwCommandBar::SetProtection(TafwMsoBarProtection value) {
    if (value != afwMsoBarNoChangeDock && HasAdvancedControl()) raise_advanced_bar_protection();
    Protection_ = value;
    push(L"Protection", host_protection(value));
}

void TafwCommandBar::SetEnabled(bool value) {
    Enabled_ = value;
    push(L"Enabled", value);
}
void TafwCommandBar::SetVisible(bool value) {
    Visible_ = value;
    push(L"Visible", value);
}
void TafwCommandBar::SetCommandBarLeft(std::int32_t value) {
    CommandBarLeft_ = value;
    push(L"Left", value);
}
void TafwCommandBar::SetCommandBarTop(std::int32_t value) {
    CommandBarTop_ = value;
    push(L"Top", value);
}
void TafwCommandBar::SetRowIndex(std::int32_t value) {
    RowIndex_ = value;
    push(L"RowIndex", value);
}

void TafwCommandBar::PushProperties() {
    SetEnabled(Enabled_);
    SetVisible(Visible_);
    SetProtection(Protection_);
    SetPosition(Position_);
    if (CommandBarLeft_ != -1) SetCommandBarLeft(CommandBarLeft_);
    if (CommandBarTop_ != -1) SetCommandBarTop(CommandBarTop_);
    if (RowIndex_ != -1) SetRowIndex(RowIndex_);
}

bool TafwCommandBar::HasAdvancedControl() const noexcept {
    return std::any_of(Controls_.begin(), Controls_.end(),
                       [](const auto& control) { return control->Kind() == kAdvancedControlKind; });
}

void TafwCommandBar::ReadDefinition(const definition::object& stored, const handler_table& handlers) {
    for (const definition::object& child : stored.children) {
        if (is_command_bar_class(child.class_name)) raise_container(child.class_name, class_name());
        throw definition::definition_error(child.line, "a " + class_name() + " holds no " + child.class_name);
    }
    handlers_ = &handlers;
    struct forget_at_end {
        const handler_table*& handlers;
        ~forget_at_end() { handlers = nullptr; }
    } forget{handlers_};
    for (const definition::property& p : stored.properties) ReadProperty(p);
    if (CommandBarName_.empty()) raise_empty_property("CommandBarName");
}

notify_event TafwCommandBar::FindHandler(const definition::value& method_name) const {
    if (!handlers_)
        throw definition::definition_error(method_name.line, "no module methods to bind " + method_name.as_name());
    return handlers_->find(method_name.as_name(), method_name.line);
}

void TafwCommandBar::ReadProperty(const definition::property& p) {
    if (read_from(kBarProperties, *this, p)) return;
    throw definition::definition_error(p.v.line, "no property " + p.name + " in " + class_name());
}

TafwOlExplorerCommandbar::TafwOlExplorerCommandbar(command_bar_module* owner, std::string name)
    : TafwCommandBar(owner, std::move(name), "TafwOlExplorerCommandbar", afwMsoBarTop, true, TafwHostAppSet{ohaOutlook}) {}

void TafwOlExplorerCommandbar::ReadProperty(const definition::property& p) {
    if (same_name(p.name, "ItemTypes")) SetItemTypes(item_types_of(p.v));
    else if (same_name(p.name, "FolderName")) SetFolderName(text_of(p.v));
    else if (same_name(p.name, "FolderNames")) SetFolderNames(texts_of(p.v));
    else TafwCommandBar::ReadProperty(p);
}

bool is_command_bar_class(std::string_view class_name) noexcept {
    return same_name(class_name, "TafwCommandBar") || same_name(class_name, "TafwOlExplorerCommandbar");
}

std::unique_ptr<TafwCommandBar> read_command_bar(const definition::object& stored, command_bar_module& module,
                                                 const handler_table& handlers) {
    std::unique_ptr<TafwCommandBar> bar;
    if (same_name(stored.class_name, "TafwOlExplorerCommandbar"))
        bar = std::make_unique<TafwOlExplorerCommandbar>(&module, stored.name);
    else if (same_name(stored.class_name, "TafwCommandBar"))
        bar = std::make_unique<TafwCommandBar>(&module, stored.name);
    else throw definition::definition_error(stored.line, stored.class_name + " is not a command bar");
    bar->ReadDefinition(stored, handlers);
    return bar;
}

}  // namespace flinter
