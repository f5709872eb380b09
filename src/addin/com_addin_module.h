// TafwCOMAddInModule: the base of an add-in's module. It holds the stored
// properties that registration and the connection read, the module's events
// (bound by name from its stored definition), its child components, the
// state of one connection to a host, and the module error report that every
// raised event goes through. Host UI thread only; loading throws
// definition::definition_error, raising events never throws.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/component_readers.h"
#include "addin/ribbon.h"
#include "com/registry.h"
#include "com/ui_thread.h"
#include "commandbars/command_bar_module.h"
#include "framework/component.h"
#include "framework/host_apps.h"
#include "ui/user_dialogs.h"

namespace flinter {

class TafwAddin;
class TafwFactory;
class TOleServer;

// The value "AFWStartMode" had when the connection started.
enum class start_mode : int { first_start = 0, normal = 1, uninstall = 2, unknown = 255 };

// What a module knows of the host it is connected to; the defaults are the
// state of a module no host connects.
struct module_connection {
    Microsoft::WRL::ComPtr<IDispatch> application{};
    TafwOfficeHostApp host_kind = ohaExcel;
    start_mode mode = start_mode::first_start;
    // The host's COMAddIn entry of the add-in, when it passed one.
    Microsoft::WRL::ComPtr<IDispatch> com_addin{};
    TafwAddin* addin_object = nullptr;
    TafwFactory* factory = nullptr;
    call_depth* host_calls = nullptr;
};

class TafwCOMAddInModule : public component, public command_bar_module {
public:
    // A failure raised by a handler; a handler that deals with it sets handled.
    using error_event = std::function<void(component& sender, const std::exception& failure, bool& handled)>;
    // sender: null for the explorer that is already open at start-up.
    using object_event = std::function<void(component* sender, IDispatch* object)>;
    using cancel_event = std::function<void(component& sender, IDispatch* target, VARIANT_BOOL& cancel)>;
    // The new view comes as Outlook passes it (its name).
    using view_cancel_event = std::function<void(component& sender, const VARIANT& view, VARIANT_BOOL& cancel)>;

    // Every property at its default; load() then reads the stored values.
    // dialogs: what the module and its windows show the user.
    TafwCOMAddInModule(std::string name, std::string class_name, user_dialogs dialogs = library_dialogs());
    ~TafwCOMAddInModule() override;

    // Reads the stored properties and child components. The definition must
    // describe this module's class; an unknown property, component class or
    // handler name, or a value of the wrong kind, is an error.
    void load(const definition::object& stored, const handler_table& handlers,
              const component_readers& readers = standard_component_readers());

    // Stored properties.
    const std::wstring& AddInName() const noexcept { return AddInName_; }
    void SetAddInName(std::wstring name);   // refuses the empty name
    const std::wstring& Description() const noexcept { return Description_; }
    void SetDescription(std::wstring description) { Description_ = std::move(description); }
    bool DisplayAlerts = false;
    std::int32_t LoadBehavior = 3;
    bool RegisterForAllUsers = false;
    void SetSupportedApps(TafwHostAppSet apps);   // refuses the empty set
    bool XLAutomationAddIn = false;
    bool HandleShortcuts = false;

    // Events; an empty one is skipped.
    error_event OnError;
    notify_event OnAddInInitialize, OnAddInStartupComplete, OnAddInBeginShutdown, OnAddInFinalize;
    notify_event OnAfterAddinRegister, OnBeforeAddinUnregister;
    notify_event OnDestroy;   // raised when the module is freed, after the host is let go
    object_event OnOLNewExplorer, OnOLNewInspector;
    notify_event OnOLExplorerActivate, OnOLExplorerFolderSwitch;
    cancel_event OnOLExplorerBeforeFolderSwitch;
    notify_event OnOLExplorerViewSwitch;
    view_cancel_event OnOLExplorerBeforeViewSwitch;
    notify_event OnOLExplorerDeactivate, OnOLExplorerSelectionChange, OnOLExplorerClose;
    notify_event OnOLInspectorActivate, OnOLInspectorDeactivate, OnOLInspectorClose;

    // Outlook adds its Options pages, or a folder's property pages; nothing by default.
    virtual void OptionsPagesAdd(IDispatch* pages);
    virtual void FolderPagesAdd(component* name_space, IDispatch* pages, IDispatch* folder);

    // Raises an event with this module (or sender) as sender; a failure goes
    // to the module error report and goes no further.
    void raise(const notify_event& event) noexcept { raise(event, *this); }
    void raise(const notify_event& event, component& sender) noexcept;

    // The module error report; call only inside a catch block. OnError may
    // handle the failure; otherwise an error box names the add-in and the failure.
    void report_error() noexcept override;

    // What the module's command bars ask of it; the connection's state below.
    TafwOfficeHostApp HostKind() const noexcept override { return connection_.host_kind; }
    TafwHostAppSet SupportedApps() const noexcept override { return SupportedApps_; }
    std::wstring prog_id() const override;
    std::wstring addin_key() const override { return addin_key_path(connection_.host_kind, prog_id()); }
    bool first_start() const noexcept override { return connection_.mode == start_mode::first_start; }
    IDispatch* HostApplication() const noexcept override { return connection_.application.Get(); }
    // The calls of the host into the add-in object that connects the module;
    // null before the connection and after it.
    call_depth* host_calls() const noexcept override { return connection_.host_calls; }

    // The one set of boxes and dialogs of the module, handed to its windows and commands.
    const user_dialogs& Dialogs() const noexcept { return dialogs_; }

    // The groups the module shows on the host's ribbons (Office 2010 and
    // later), one for each ribbon at most; their buttons are its bars'.
    std::vector<ribbon_group> RibbonGroups;
    // The group for the ribbon the host names; null when there is none.
    const ribbon_group* RibbonGroup(const std::wstring& ribbon_id) const noexcept;

    // The children read from the definition, in stored order.
    const std::vector<std::unique_ptr<component>>& components() const noexcept { return components_; }
    component* find_component(std::string_view name) const noexcept;

    // The connection to a host, written whole by connect(): by the add-in
    // object at each step of its connection, and by registration for each
    // host it visits. release_before_destruction() clears it.
    const module_connection& connection() const noexcept { return connection_; }
    void connect(module_connection connection) noexcept { connection_ = std::move(connection); }
    start_mode StartMode() const noexcept { return connection_.mode; }
    IDispatch* COMAddIn() const noexcept { return connection_.com_addin.Get(); }
    TafwAddin* AddInObject() const noexcept { return connection_.addin_object; }
    TafwFactory* Factory() const noexcept { return connection_.factory; }
    // The wrapper of the host application (TOutlookApplication for Outlook),
    // connected at start-up and freed with the module; null otherwise.
    TOleServer* HostWrapper() const noexcept { return host_wrapper_.get(); }
    void AttachHostWrapper(std::unique_ptr<TOleServer> wrapper) noexcept;
    // Set when Outlook announces a new explorer; the next folder switch of
    // any explorer first places the bars in that explorer and clears it.
    bool ExplorerActivationPending = false;
    // Open on the add-in key under HKEY_CURRENT_USER while connected (and while
    // registration raises its events); null otherwise.
    registry_key* Registry() noexcept { return registry_ ? &*registry_ : nullptr; }
    // Opens Registry() on HKEY_CURRENT_USER\addin_key, created if missing when
    // create is set; false when it does not exist. Throws when creation is refused.
    bool OpenRegistry(const std::wstring& addin_key, bool create);
    void CloseRegistry() noexcept { registry_.reset(); }

    // Lets the host go: the registry closed, the sinks unadvised (the host
    // wrapper's too), every host reference dropped, and a modal window of the
    // add-in's ended, so that the host is not kept waiting for the user. The
    // first half of freeing the module, run at disconnection; the module stays
    // usable for a handler that still runs until module_ptr raises OnDestroy
    // and frees it.
    void release_before_destruction() noexcept;

private:
    void apply_property(const definition::property& p, const handler_table& handlers);
    void add_component(const definition::object& stored, const handler_table& handlers,
                       const component_readers& readers);

    // The host's objects are called, and the windows made, on the thread that made the module.
    ui_thread_binding ui_thread_;
    std::wstring AddInName_;
    std::wstring Description_;
    TafwHostAppSet SupportedApps_{ohaExcel};
    std::vector<std::unique_ptr<component>> components_;
    user_dialogs dialogs_;

    module_connection connection_;
    std::unique_ptr<TOleServer> host_wrapper_;
    std::optional<registry_key> registry_;
    bool released_ = false;
};

// Frees a module in its order: host let go, OnDestroy, then the module with
// its children.
struct module_deleter {
    void operator()(TafwCOMAddInModule* module) const noexcept;
};
using module_ptr = std::unique_ptr<TafwCOMAddInModule, module_deleter>;

}  // namespace flinter
