#include "commandbars/command_bar_engine.h"

#include <exception>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "commandbars/bar_records.h"
#include "commandbars/command_bar_button.h"
#include "commandbars/refusal.h"
#include "framework/office_ids.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

// The cached collection, fetched when the cache is empty.
ComPtr<IDispatch> collection_of(command_bar_module& module) {
    if (!module.command_bars()) GetHostCommandBars(module);
    return module.command_bars();
}

// ANSI code page, then the letters a-z upper-cased and nothing else.
std::string ansi_upper(const std::wstring& text) {
    std::string result = wide_to_acp(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return result;
}

// Upper case by the user's locale, for any script.
std::wstring locale_upper(const std::wstring& text) {
    if (text.empty()) return text;
    const int size = ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), result.data(),
                   size);
    return result;
}

// CommandBar.FindControl(Type, Id, Tag, Visible, Recursive); null when none.
ComPtr<IDispatch> find_in_bar(IDispatch* bar, const variant& type, const variant& id, const variant& tag) {
    if (!bar) return nullptr;
    return object_or_null(call(bar, L"FindControl", {type, id, tag, omitted(), variant(true)}));
}

// CommandBars.FindControl(Type, Id, Tag, Visible): every bar of the collection.
ComPtr<IDispatch> find_in_collection(IDispatch* collection, const variant& type, const variant& id,
                                     const variant& tag) {
    if (!collection) return nullptr;
    return object_or_null(call(collection, L"FindControl", {type, id, tag, omitted()}));
}

variant type_of(const TafwCommandBarControl& control) {
    return control.HostType() == office::msoControlCustom ? omitted() : variant(control.HostType());
}

variant tag_of(const TafwCommandBarControl& control) { return variant(control.DeclaredOfficeTag()); }

// A non-temporary control whose record equals its version was pushed once and
// has gone from the host since: the user deleted it, and it stays deleted.
bool recorded_as_removed(const TafwCommandBarControl& control) {
    return !control.Temporary() && records::matches(control.module(), records::kControls,
                                                     control.DeclaredOfficeTag(), control.PropertyChanged());
}

ComPtr<IDispatch> add_control(IDispatch* container, const variant& type, const variant& id,
                              const TafwCommandBarControl& control, IDispatch* position_bar) {
    return object_or_null(call(container, L"Add", {type, id, variant(control.DeclaredParameter()),
                                                   ComputeBefore(control, position_bar),
                                                   variant(control.Temporary())}));
}

// Where new controls go, and the host bar their positions are counted in.
struct placement {
    ComPtr<IDispatch> container;
    ComPtr<IDispatch> position_bar;
};

placement placement_in(TafwCommandBar& bar, TafwCommandBarPopup* popup) {
    if (popup) return {get_object(popup->live(), L"Controls"), get_object(popup->live(), L"CommandBar")};
    return {get_object(bar.live(), L"Controls"), bar.live()};
}

void create_bound_control(command_bar_module& module, TafwCommandBarControl& control, TafwCommandBar& bar,
                          const placement& place) {
    const bool custom = control.DeclaredOfficeID() == 1;
    ComPtr<IDispatch> found = custom ? find_in_collection(collection_of(module).Get(), type_of(control), omitted(), tag_of(control))
                                     : find_in_bar(bar.live(), type_of(control), omitted(), tag_of(control));
    if (!found && !recorded_as_removed(control))
        found = add_control(place.container.Get(), variant(control.HostType()), variant(control.DeclaredOfficeID()),
                            control, place.position_bar.Get());
    if (!found) return;
    control.Hold(found);
    if (!custom) control.TakeBuiltInAction(module.prog_id());
    control.RefreshControl();
}

// popup: a control with children.
void create_popup(command_bar_module& module, TafwCommandBarControl& popup, TafwCommandBar& bar,
                  const placement& place) {
    const bool custom = popup.DeclaredOfficeID() == 1;
    const variant popup_type(office::msoControlPopup);
    ComPtr<IDispatch> found;
    if (custom) {
        found = find_in_collection(collection_of(module).Get(), popup_type, omitted(), tag_of(popup));
        if (!found && !recorded_as_removed(popup))
            found = add_control(place.container.Get(), popup_type, omitted(), popup, place.position_bar.Get());
    } else {
        found = find_in_bar(bar.live(), popup_type, variant(popup.DeclaredOfficeID()), omitted());
    }
    if (!found) return;
    popup.Hold(found);
    if (custom) popup.RefreshControl();
    TafwCommandBarControls& children = *popup.Children();
    for (const auto& child : children) CreateControl(module, *child, bar, children.Popup());
}

void create_built_in_control(TafwCommandBarControl& control, TafwCommandBar& bar, const placement& place) {
    if (control.DeclaredOfficeID() == 1) return;
    const variant id(control.DeclaredOfficeID());
    ComPtr<IDispatch> found = find_in_bar(bar.live(), omitted(), id, tag_of(control));
    if (!found && !recorded_as_removed(control))
        found = add_control(place.container.Get(), omitted(), id, control, place.position_bar.Get());
    if (!found) return;
    control.Remember(found);
    control.RefreshControl();
}

void connect_control(command_bar_module& module, TafwCommandBarControl& control, TafwCommandBar& bar,
                     TafwCommandBarPopup* popup) {
    if (control.Kind() == kAdvancedControlKind) return;   // its hosting is not built
    const ComPtr<IDispatch> collection = collection_of(module);
    ComPtr<IDispatch> found = find_in_bar(bar.live(), type_of(control), omitted(), tag_of(control));
    if (!found) found = find_in_collection(collection.Get(), type_of(control), omitted(), tag_of(control));
    if (!found) {
        CreateControl(module, control, bar, popup);
        found = find_in_collection(collection.Get(), type_of(control), omitted(), tag_of(control));
    }
    if (!found) return;
    control.Hold(found);
    if (TafwCommandBarControls* children = control.Children())
        for (const auto& child : *children) connect_control(module, *child, bar, children->Popup());
}

void unbind_all(TafwCommandBarControl& control) noexcept {
    if (const TafwCommandBarControls* children = control.Children())
        for (const auto& child : *children) unbind_all(*child);
    control.Unbind();
}

// The host control RemoveCommandBar deletes for control, or null.
ComPtr<IDispatch> host_control_to_remove(command_bar_module& module, const TafwCommandBarControl& control,
                                         IDispatch* bar) {
    const bool custom = control.DeclaredOfficeID() == 1;
    const variant id(control.DeclaredOfficeID());
    if (control.Kind() == kControlKind) return custom ? nullptr : find_in_bar(bar, omitted(), id, tag_of(control));
    if (!custom && control.Kind() == kPopupKind) return find_in_bar(bar, omitted(), id, omitted());
    if (!custom) return find_in_bar(bar, omitted(), omitted(), tag_of(control));
    ComPtr<IDispatch> found = find_in_bar(bar, omitted(), omitted(), tag_of(control));
    if (!found) found = find_in_collection(collection_of(module).Get(), omitted(), omitted(), tag_of(control));
    return found;
}

// Removal goes on past a failing step, so that one control the host refuses to
// delete does not keep the others and the bar; the first failure is then
// raised to the caller, so that the removal is not taken for complete.
class first_failure {
public:
    template <class Step>
    void attempt(Step&& step) noexcept {
        try {
            step();
        } catch (...) {
            if (!first_) first_ = std::current_exception();
        }
    }
    void rethrow() const {
        if (first_) std::rethrow_exception(first_);
    }

private:
    std::exception_ptr first_;
};

bool declares_tag(const TafwCommandBarControls& controls, const std::wstring& tag) {
    for (const auto& control : controls) {
        if (control->DeclaredOfficeTag() == tag) return true;
        if (const TafwCommandBarControls* children = control->Children())
            if (declares_tag(*children, tag)) return true;
    }
    return false;
}

bool any_bar_declares(const command_bar_module& module, const std::wstring& tag) {
    for (const TafwCommandBar* bar : module.bars())
        if (declares_tag(bar->Controls(), tag)) return true;
    return false;
}

void add_command_bar(command_bar_module& module, TafwCommandBar& bar) {
    const ComPtr<IDispatch> collection = collection_of(module);
    if (!collection) return;
    const std::wstring& name = bar.DeclaredName();
    ComPtr<IDispatch> added;
    try {
        added = object_or_null(call(collection.Get(), L"Add", {variant(name), variant(host_position(bar.Position())),
                                                                omitted(), variant(bar.Temporary())}));
    } catch (...) {
        if (module.HostKind() == ohaOutlook) return;   // Outlook: the bar just stays declared
        throw;
    }
    bar.SetLive(added);
    if (!added) return;
    if (get(added.Get(), L"NameLocal").as_wstring() != name) put(added.Get(), L"NameLocal", variant(name));
    bar.RememberNameLocal(name);
}

}  // namespace

ComPtr<IDispatch> GetHostCommandBars(command_bar_module& module) {
    ComPtr<IDispatch> collection;
    try {
        IDispatch* application = module.HostApplication();
        ComPtr<IDispatch> source;
        if (!application || module.HostKind() == ohaMapPoint) {
            // no collection
        } else if (module.HostKind() == ohaOutlook) {
            auto count = [application](const wchar_t* windows) {
                return get(get_object(application, windows).Get(), L"Count").as_int();
            };
            if (count(L"Inspectors") > 0 || count(L"Explorers") > 0)
                source = get_object(get_object(application, L"ActiveWindow").Get(), L"CommandBars");
        } else {
            source = get_object(application, L"CommandBars");
        }
        if (source) collection = query_dispatch(source.Get(), office::IID__CommandBars);
    } catch (...) {
        collection.Reset();
    }
    module.set_command_bars(collection);
    return collection;
}

ComPtr<IDispatch> FindCommandBar(command_bar_module& module, const std::wstring& name) {
    const ComPtr<IDispatch> collection = collection_of(module);
    if (!collection) return nullptr;
    const std::string wanted = ansi_upper(name);
    const std::wstring wanted_local = locale_upper(name);
    const int count = get(collection.Get(), L"Count").as_int();
    for (int i = 1; i <= count; ++i) {
        ComPtr<IDispatch> bar = get_object(collection.Get(), L"Item", {variant(i)});
        if (ansi_upper(get(bar.Get(), L"Name").as_wstring()) == wanted) return bar;
        if (locale_upper(get(bar.Get(), L"NameLocal").as_wstring()) == wanted_local) return bar;
    }
    return nullptr;
}

void CreateCommandBar(command_bar_module& module, TafwCommandBar& bar) {
    if (module.HostKind() == ohaMapPoint) raise_map_point();
    const std::wstring& name = bar.DeclaredName();
    if (module.HostKind() == ohaOutlook && name.find(L'\'') != std::wstring::npos)
        raise_bar_name_character(narrow(name.c_str()));
    if (!bar.SupportedApps().contains(module.HostKind())) return;
    try {
        bar.SetLive(FindCommandBar(module, name));
        if (!bar.live()) add_command_bar(module, bar);
        if (bar.live() && !bar.BuiltIn()) ApplyBarProperties(bar);
    } catch (...) {
        module.report_error();
    }
    RemoveOrphanControls(bar);
    if (!bar.live()) return;
    for (const auto& control : bar.Controls()) CreateControl(module, *control, bar);
}

void ApplyBarProperties(TafwCommandBar& bar) {
    command_bar_module& module = bar.module();
    try {
        if (!bar.Temporary() && records::matches(module, records::kBars, bar.DeclaredName(), bar.PropertyChanged()))
            return;
        bar.PushProperties();
        if (!bar.Temporary()) records::write(module, records::kBars, bar.DeclaredName(), bar.PropertyChanged());
    } catch (...) {
        module.report_error();
    }
}

void CreateControl(command_bar_module& module, TafwCommandBarControl& control, TafwCommandBar& bar,
                   TafwCommandBarPopup* popup) {
    if (module.HostKind() == ohaMapPoint) raise_map_point();
    if (!bar.live()) return;
    if (control.Kind() == kAdvancedControlKind) {
        if (bar.BuiltIn()) raise_advanced_in_built_in_bar();
        return;   // hosting a window control in a bar is not built
    }
    try {
        const placement place = placement_in(bar, popup);
        if (control.Children()) {
            create_popup(module, control, bar, place);
        } else if (control.RaisesEvents()) {
            create_bound_control(module, control, bar, place);
        } else {
            create_built_in_control(control, bar, place);
        }
    } catch (...) {
        module.report_error();
    }
}

variant ComputeBefore(const TafwCommandBarControl& control, IDispatch* position_bar) {
    if (control.Before() != 0) return variant(control.Before());
    const std::int32_t reference_id = control.BeforeID() != 0 ? control.BeforeID() : control.AfterID();
    if (reference_id == 0) return omitted();
    const ComPtr<IDispatch> reference = find_in_bar(position_bar, omitted(), variant(reference_id), omitted());
    if (!reference) return omitted();
    const std::int32_t index = get(reference.Get(), L"Index").as_int();
    return variant(control.BeforeID() != 0 ? index : index + 1);
}

void ConnectCommandBar(TafwCommandBar& bar) {
    command_bar_module& module = bar.module();
    bar.SetLive(FindCommandBar(module, bar.DeclaredName()));
    for (const auto& control : bar.Controls()) {
        try {
            connect_control(module, *control, bar, nullptr);
        } catch (...) {
            module.report_error();
        }
    }
}

void RemoveCommandBar(TafwCommandBar& bar) {
    command_bar_module& module = bar.module();
    TafwCommandBarControls& controls = bar.Controls();
    first_failure failure;
    for (std::size_t i = controls.Count(); i-- > 0;) {
        TafwCommandBarControl& control = controls[i];
        failure.attempt([&] {
            if (const ComPtr<IDispatch> found = host_control_to_remove(module, control, bar.live())) {
                call(found.Get(), L"Delete", {variant(false)});
                unbind_all(control);
            }
        });
    }
    failure.attempt([&] {
        if (bar.live() && !bar.BuiltIn() && get(get_object(bar.live(), L"Controls").Get(), L"Count").as_int() == 0)
            call(bar.live(), L"Delete");
    });
    bar.SetLive(nullptr);
    failure.rethrow();
}

void ForgetCommandBar(TafwCommandBar& bar) noexcept {
    for (std::size_t i = bar.Controls().Count(); i-- > 0;) unbind_all(bar.Controls()[i]);
    bar.SetLive(nullptr);
}

void RemoveOrphanControls(TafwCommandBar& bar) {
    command_bar_module& module = bar.module();
    try {
        const auto tags = records::names(module, records::kControls);
        if (!tags) return;
        for (const std::wstring& tag : *tags) {
            if (any_bar_declares(module, tag)) continue;
            ComPtr<IDispatch> found = find_in_bar(bar.live(), omitted(), omitted(), variant(tag));
            if (!found) found = find_in_collection(collection_of(module).Get(), omitted(), omitted(), variant(tag));
            if (!found) continue;
            call(found.Get(), L"Delete", {variant(false)});
            records::erase(module, records::kControls, tag);
        }
    } catch (...) {
        module.report_error();
    }
}

void RemoveCommandBars(command_bar_module& module) {
    const std::vector<TafwCommandBar*> bars = module.bars();
    first_failure failure;
    for (TafwCommandBar* bar : bars)
        if (bar->SupportedApps().contains(module.HostKind())) failure.attempt([bar] { RemoveCommandBar(*bar); });
    failure.rethrow();
}

}  // namespace flinter
