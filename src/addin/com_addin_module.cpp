#include "addin/com_addin_module.h"

#include <algorithm>
#include <utility>

#include "addin/addin_factory.h"
#include "addin/explorer_in_front.h"
#include "addin/ole_server.h"
#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "core/text/ascii.h"
#include "framework/framework_error.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

using definition::definition_error;

// The events a definition may bind: those whose handlers take the sender only.
struct notify_property {
    const char* lowered_name;
    notify_event TafwCOMAddInModule::*event;
};
constexpr notify_property kNotifyEvents[] = {
    {"onaddininitialize", &TafwCOMAddInModule::OnAddInInitialize},
    {"onaddinstartupcomplete", &TafwCOMAddInModule::OnAddInStartupComplete},
    {"onaddinbeginshutdown", &TafwCOMAddInModule::OnAddInBeginShutdown},
    {"onaddinfinalize", &TafwCOMAddInModule::OnAddInFinalize},
    {"onafteraddinregister", &TafwCOMAddInModule::OnAfterAddinRegister},
    {"onbeforeaddinunregister", &TafwCOMAddInModule::OnBeforeAddinUnregister},
    {"ondestroy", &TafwCOMAddInModule::OnDestroy},
    {"onolexploreractivate", &TafwCOMAddInModule::OnOLExplorerActivate},
    {"onolexplorerfolderswitch", &TafwCOMAddInModule::OnOLExplorerFolderSwitch},
    {"onolexplorerviewswitch", &TafwCOMAddInModule::OnOLExplorerViewSwitch},
    {"onolexplorerdeactivate", &TafwCOMAddInModule::OnOLExplorerDeactivate},
    {"onolexplorerselectionchange", &TafwCOMAddInModule::OnOLExplorerSelectionChange},
    {"onolexplorerclose", &TafwCOMAddInModule::OnOLExplorerClose},
    {"onolinspectoractivate", &TafwCOMAddInModule::OnOLInspectorActivate},
    {"onolinspectordeactivate", &TafwCOMAddInModule::OnOLInspectorDeactivate},
    {"onolinspectorclose", &TafwCOMAddInModule::OnOLInspectorClose},
};

// Events whose handlers take more than the sender; they are set in code.
constexpr const char* kArgumentEvents[] = {
    "onerror", "onolnewexplorer", "onolnewinspector", "onolexplorerbeforefolderswitch",
    "onolexplorerbeforeviewswitch",
};

std::wstring error_report_text(const std::wstring& addin_name, const std::exception& failure) {
    return addin_name + L" error: the add-in has fired an exception.\r\n" + widen(failure.what());
}

}  // namespace

TafwCOMAddInModule::TafwCOMAddInModule(std::string name, std::string class_name, user_dialogs dialogs)
    : component(std::move(name), std::move(class_name)), dialogs_(std::move(dialogs)) {}

TafwCOMAddInModule::~TafwCOMAddInModule() = default;

void TafwCOMAddInModule::SetAddInName(std::wstring name) {
    if (name.empty()) throw framework_error("The AddInName property can not be empty.");
    AddInName_ = std::move(name);
}

void TafwCOMAddInModule::SetSupportedApps(TafwHostAppSet apps) {
    if (apps.empty()) throw framework_error("The SupportedApps property can not be empty.");
    SupportedApps_ = apps;
}

void TafwCOMAddInModule::load(const definition::object& stored, const handler_table& handlers,
                              const component_readers& readers) {
    if (stored.class_name != class_name())
        throw definition_error(stored.line, "the definition describes " + stored.class_name + ", not " + class_name());
    for (const auto& p : stored.properties) {
        try {
            apply_property(p, handlers);
        } catch (const framework_error& e) {
            throw definition_error(p.v.line, e.what());
        }
    }
    for (const auto& child : stored.children) add_component(child, handlers, readers);
}

void TafwCOMAddInModule::apply_property(const definition::property& p, const handler_table& handlers) {
    const std::string name = text::ascii_lower(p.name);
    const definition::value& v = p.v;
    if (name == "addinname") return SetAddInName(widen(v.as_text()));
    if (name == "description") return SetDescription(widen(v.as_text()));
    if (name == "displayalerts") { DisplayAlerts = v.as_boolean(); return; }
    if (name == "loadbehavior") { LoadBehavior = v.as_integer(); return; }
    if (name == "registerforallusers") { RegisterForAllUsers = v.as_boolean(); return; }
    if (name == "supportedapps") {
        TafwHostAppSet apps;
        for (const auto& host : v.as_set()) {
            const auto app = host_app_from_name(host);
            if (!app) throw definition_error(v.line, "unknown host " + host);
            apps.insert(*app);
        }
        return SetSupportedApps(apps);
    }
    // Excel's automation add-ins and the keyboard shortcuts' hook are not
    // built: a definition that asks for them is refused rather than ignored.
    if (name == "xlautomationaddin" || name == "handleshortcuts") {
        if (v.as_boolean()) throw definition_error(v.line, p.name + " is not supported by this framework");
        return;
    }
    for (const auto& event : kNotifyEvents) {
        if (name == event.lowered_name) {
            this->*event.event = handlers.find(v.as_name(), v.line);
            return;
        }
    }
    for (const char* event : kArgumentEvents)
        if (name == event) throw definition_error(v.line, "the handler of " + p.name + " takes arguments and is set in code");
    throw definition_error(v.line, "unknown property " + p.name);
}

void TafwCOMAddInModule::add_component(const definition::object& stored, const handler_table& handlers,
                                       const component_readers& readers) {
    const component_reader* reader = readers.find(stored.class_name);
    if (!reader) throw definition_error(stored.line, "unknown class " + stored.class_name);
    if (stored.name == name() || find_component(stored.name))
        throw definition_error(stored.line, "a component named " + stored.name + " exists already");
    components_.push_back((*reader)(*this, stored, handlers));
}

const ribbon_group* TafwCOMAddInModule::RibbonGroup(const std::wstring& ribbon_id) const noexcept {
    for (const ribbon_group& group : RibbonGroups)
        if (group.ribbon_id == ribbon_id) return &group;
    return nullptr;
}

component* TafwCOMAddInModule::find_component(std::string_view wanted) const noexcept {
    const auto found = std::find_if(components_.begin(), components_.end(),
                                    [&](const auto& c) { return c->name() == wanted; });
    return found == components_.end() ? nullptr : found->get();
}

std::wstring TafwCOMAddInModule::prog_id() const {
    return connection_.factory ? connection_.factory->ProgID() : std::wstring();
}

void TafwCOMAddInModule::AttachHostWrapper(std::unique_ptr<TOleServer> wrapper) noexcept {
    host_wrapper_ = std::move(wrapper);
}

void TafwCOMAddInModule::OptionsPagesAdd(IDispatch*) {}
void TafwCOMAddInModule::FolderPagesAdd(component*, IDispatch*, IDispatch*) {}

void TafwCOMAddInModule::raise(const notify_event& event, component& sender) noexcept {
    if (!event) return;
    try {
        event(sender);
    } catch (...) {
        report_error();
    }
}

void TafwCOMAddInModule::report_error() noexcept {
    // A handler still running when the host let the add-in go fails on the
    // objects the host has cut off: the user has nothing to answer there.
    if (released_) return log_at_boundary("after the host let the add-in go");
    try {
        const auto offer = [this](const std::exception& failure) {
            bool handled = false;
            if (OnError) OnError(*this, failure, handled);
            if (!handled)
                dialogs_.module_error_box(ExplorerWindowInFront(HostApplication()), AddInName_,
                                                      error_report_text(AddInName_, failure));
        };
        try {
            throw;
        } catch (const std::exception& failure) {
            offer(failure);
        } catch (...) {
            offer(std::runtime_error("unknown exception"));
        }
    } catch (...) {
        log_at_boundary("module error report");
    }
}

bool TafwCOMAddInModule::OpenRegistry(const std::wstring& addin_key, bool create) {
    registry_.reset();
    if (create) {
        registry_.emplace(registry_key::create(HKEY_CURRENT_USER, addin_key));
    } else if (auto existing = registry_key::open(HKEY_CURRENT_USER, addin_key, KEY_READ | KEY_WRITE)) {
        registry_.emplace(std::move(*existing));
    }
    return registry_.has_value();
}

void TafwCOMAddInModule::release_before_destruction() noexcept {
    if (released_) return;
    released_ = true;
    registry_.reset();
    disconnect_event_sinks();
    // Unadvised (the host is not told to quit); freed with the module, as an
    // event of its may still be running.
    if (host_wrapper_) host_wrapper_->Detach();
    set_command_bars(nullptr);
    connection_.addin_object = nullptr;
    connection_.factory = nullptr;
    connection_.host_calls = nullptr;
    connection_.com_addin.Reset();
    connection_.application.Reset();
    end_modal_loops();
}

void module_deleter::operator()(TafwCOMAddInModule* module) const noexcept {
    if (!module) return;
    module->release_before_destruction();
    module->raise(module->OnDestroy);
    delete module;
}

}  // namespace flinter
