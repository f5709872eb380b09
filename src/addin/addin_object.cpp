#include "addin/addin_object.h"

#include <wrl/client.h>

#include <algorithm>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/com_server.h"
#include "addin/explorer_bar_binding.h"
#include "addin/outlook_wrappers.h"
#include "addin/ribbon.h"
#include "com/dispatch_sink.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "commandbars/command_bar_button.h"
#include "commandbars/command_bar_engine.h"
#include "framework/office_ids.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kStartModeValue[] = L"AFWStartMode";

start_mode start_mode_from(const std::optional<std::wstring>& stored) {
    if (!stored) return start_mode::first_start;
    std::wstring text = *stored;
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    if (text == L"UNINSTALL") return start_mode::uninstall;
    if (text == L"NORMAL") return start_mode::normal;
    if (text == L"FIRSTSTART") return start_mode::first_start;
    return start_mode::unknown;
}

// The interface a host object answers as typed, seen through IDispatch.
ComPtr<IDispatch> as_typed(IDispatch* object, REFIID iid) noexcept {
    ComPtr<IDispatch> typed;
    if (object) object->QueryInterface(iid, reinterpret_cast<void**>(typed.GetAddressOf()));
    return typed;
}

// The windows among tracked that are still open. Outlook may have refused to
// tell about a window's events: it stays tracked, and its close goes unheard.
// When Outlook's list of windows cannot be read, all of them.
std::vector<IDispatch*> still_open(IDispatch* application, const std::vector<IDispatch*>& tracked) {
    std::vector<ComPtr<IDispatch>> open;
    try {
        const ComPtr<IDispatch> explorers = get_object(application, L"Explorers");
        for (int i = 1, count = get(explorers.Get(), L"Count").as_int(); i <= count; ++i)
            open.push_back(get_object(explorers.Get(), L"Item", {variant(i)}));
    } catch (const hresult_error&) {
        return tracked;
    }
    std::vector<IDispatch*> result;
    for (IDispatch* explorer : tracked)
        if (std::any_of(open.begin(), open.end(), [explorer](const auto& o) { return same_object(o.Get(), explorer); }))
            result.push_back(explorer);
    return result;
}

}  // namespace

TafwAddin::TafwAddin(TafwFactory& factory, IUnknown* outer) : factory_(factory), outer_(outer) {}

TafwAddin::~TafwAddin() { clean_up(); }

void TafwAddin::count_object(int delta) noexcept {
    if (TComServer* server = TComServer::instance()) server->CountObject(delta);
}

IUnknown* TafwAddin::creation_unknown() noexcept {
    return outer_ ? static_cast<IUnknown*>(&inner_) : identity();
}

IUnknown* TafwAddin::query_more(REFIID iid) noexcept {
    return iid == factory_.DispatchIID() ? static_cast<IDispatch*>(static_cast<IDTExtensibility2*>(this)) : nullptr;
}

// ---- IUnknown: the aggregate's, when there is one ----

STDMETHODIMP TafwAddin::QueryInterface(REFIID iid, void** out) noexcept {
    return outer_ ? outer_->QueryInterface(iid, out) : base::QueryInterface(iid, out);
}
STDMETHODIMP_(ULONG) TafwAddin::AddRef() noexcept { return outer_ ? outer_->AddRef() : base::AddRef(); }
STDMETHODIMP_(ULONG) TafwAddin::Release() noexcept { return outer_ ? outer_->Release() : base::Release(); }

STDMETHODIMP TafwAddin::inner_unknown::QueryInterface(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown) {
        *out = this;
        AddRef();
        return S_OK;
    }
    return owner_.base::QueryInterface(iid, out);
}
STDMETHODIMP_(ULONG) TafwAddin::inner_unknown::AddRef() noexcept { return owner_.base::AddRef(); }
STDMETHODIMP_(ULONG) TafwAddin::inner_unknown::Release() noexcept { return owner_.base::Release(); }

// ---- IDispatch, from the type information of the default interface ----

STDMETHODIMP TafwAddin::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP TafwAddin::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = factory_.DispatchTypeInfo();
    (*info)->AddRef();
    return S_OK;
}

// The ribbon's callbacks are found by name before the type information, so
// that Ikorv and its type library stay as they are.
STDMETHODIMP TafwAddin::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count > 0) {
        if (const auto callback = ribbon_callback_named(names[0])) {
            ids[0] = *callback;
            for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;   // the callbacks take no named arguments
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return ::DispGetIDsOfNames(factory_.DispatchTypeInfo(), names, count, ids);
}

STDMETHODIMP TafwAddin::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT* argument_error) noexcept {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (is_ribbon_callback(id)) {
        try {
            return invoke_ribbon_callback(id, params, result);
        } catch (...) {
            return report_failure();
        }
    }
    return ::DispInvoke(static_cast<IDispatch*>(static_cast<IDTExtensibility2*>(this)), factory_.DispatchTypeInfo(),
                        id, flags, params, result, exception, argument_error);
}

// ---- ISupportErrorInfo, IProvideClassInfo ----

STDMETHODIMP TafwAddin::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
    const bool ours = iid == IID_IDTExtensibility2 || iid == IID_IDispatch || iid == IID_IRibbonExtensibility ||
                      iid == factory_.ErrorIID();
    return ours ? S_OK : S_FALSE;
}

STDMETHODIMP TafwAddin::GetClassInfo(ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = factory_.CoClassTypeInfo();
    (*info)->AddRef();
    return S_OK;
}

// ---- IDTExtensibility2 ----

STDMETHODIMP TafwAddin::OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addin_instance,
                                     SAFEARRAY**) noexcept try {
    const call_depth::entry call(&calls_);
    clean_up();
    module_ = factory_.CreateModule();
    module_->connect({.application = application, .addin_object = this, .factory = &factory_, .host_calls = &calls_});
    // The host calls OnStartupComplete only for add-ins it connects while starting.
    if (mode != ext_cm_Startup) run_startup();
    if (auto com_addin = as_typed(addin_instance, office::IID_COMAddIn)) {
        module_connection connection = module_->connection();
        connection.com_addin = com_addin;
        module_->connect(std::move(connection));
        put(com_addin.Get(), L"Object", variant(static_cast<IDispatch*>(static_cast<IDTExtensibility2*>(this))));
    }
    return S_OK;
} catch (...) {
    return report_failure();
}

STDMETHODIMP TafwAddin::OnStartupComplete(SAFEARRAY**) noexcept try {
    const call_depth::entry call(&calls_);
    if (module_) run_startup();
    return S_OK;
} catch (...) {
    return report_failure();
}

STDMETHODIMP TafwAddin::OnBeginShutdown(SAFEARRAY**) noexcept try {
    const call_depth::entry call(&calls_);
    shutting_down_ = true;   // a ribbon button clicked from now on runs nothing
    if (module_) begin_shutdown();
    return S_OK;
} catch (...) {
    return report_failure();
}

STDMETHODIMP TafwAddin::OnAddInsUpdate(SAFEARRAY**) noexcept { return S_OK; }

STDMETHODIMP TafwAddin::OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) noexcept {
    const call_depth::entry call(&calls_);
    HRESULT result = S_OK;
    if (module_) {
        try {
            if (mode != ext_dm_HostShutdown) remove_module_for_user();
            module_->raise(module_->OnAddInFinalize);
        } catch (...) {
            result = report_failure();
        }
    }
    clean_up();
    return result;
}

// ---- IRibbonExtensibility and the ribbon's callbacks ----

STDMETHODIMP TafwAddin::GetCustomUI(BSTR ribbon_id, BSTR* xml) noexcept try {
    if (!xml) return E_POINTER;
    *xml = nullptr;
    const call_depth::entry call(&calls_);
    const std::wstring ribbon = ribbon_id ? ribbon_id : L"";
    std::wstring answer;
    if (const ribbon_group* group = module_ ? module_->RibbonGroup(ribbon) : nullptr) {
        answer = ribbon_xml(*group);
        if (ribbon == kOutlookExplorerRibbon) MoveExplorerBarsToRibbon(*module_);
    }
    *xml = ::SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
    return *xml ? S_OK : E_OUTOFMEMORY;
} catch (...) {
    return report_failure();
}

// The host calls with the control (or the ribbon) as the only argument; an
// IRibbonControl names the button by its Id.
HRESULT TafwAddin::invoke_ribbon_callback(DISPID id, DISPPARAMS* params, VARIANT* result) {
    const call_depth::entry call(&calls_);
    const event_args args(params);
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    IDispatch* argument = args.dispatch(0);
    if (result) ::VariantInit(result);
    switch (id) {
        case kRibbonOnLoad:
            if (module_ && argument) ribbon_ui_ = query_dispatch(argument, IID_IRibbonUI);
            return S_OK;
        case kRibbonOnAction:
            if (const ribbon_button* button = ribbon_button_of(argument)) ribbon_action(*button);
            return S_OK;
        case kRibbonGetImage:
            if (const ribbon_button* button = ribbon_button_of(argument); button && result) {
                result->pdispVal = ribbon_picture(*button).Detach();
                result->vt = VT_DISPATCH;
            }
            return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
    }
}

// The module's button the control stands for; null when no module is
// connected or the control is none of its buttons.
const ribbon_button* TafwAddin::ribbon_button_of(IDispatch* control) const {
    Microsoft::WRL::ComPtr<IRibbonControl> ribbon_control;
    if (!module_ || !control || FAILED(control->QueryInterface(IID_PPV_ARGS(&ribbon_control)))) return nullptr;
    BSTR id = nullptr;
    check(ribbon_control->get_Id(&id));
    const unique_bstr owned(id);
    const std::wstring button_id = id ? id : L"";
    for (const ribbon_group& group : module_->RibbonGroups)
        if (const ribbon_button* button = group.find(button_id)) return button;
    return nullptr;
}

// The button's click routine, as a toolbar click runs it: a click of the
// same button while its handler still runs is dropped, and a failure goes to
// the module error report. The call keeps the module while the handler runs.
void TafwAddin::ribbon_action(const ribbon_button& button) {
    // Before start-up the commands' windows do not exist yet; once the host
    // began to shut down, nothing new is started.
    if (!started_ || shutting_down_ || !button.button) return;
    TafwCOMAddInModule& module = *module_;
    try {
        button.button->Click();
    } catch (...) {
        module.report_error();
    }
}

// ---- the steps ----

// The host's add-in key; before start-up has recognised the host, the host is
// recognised for it.
std::wstring TafwAddin::addin_key() const {
    const TafwOfficeHostApp host = started_ ? module_->HostKind() : recognise_host(module_->HostApplication());
    return addin_key_path(host, factory_.ProgID());
}

// Runs once per connection: from OnStartupComplete, or from OnConnection for
// an add-in connected after the host started.
void TafwAddin::run_startup() {
    if (started_) return;
    started_ = true;
    TafwCOMAddInModule& module = *module_;
    module_connection connection = module.connection();
    connection.host_kind = recognise_host(module.HostApplication());
    module.connect(connection);
    const bool outlook = connection.host_kind == ohaOutlook;
    if (outlook) connect_host_application_events();
    const std::wstring key = addin_key_path(connection.host_kind, factory_.ProgID());
    module.OpenRegistry(key, true);
    connection = module.connection();
    connection.mode = start_mode_from(registry_key::create(HKEY_CURRENT_USER, key).string(kStartModeValue));
    module.connect(connection);
    GetHostCommandBars(module);   // the collection the module's bars go into
    module.raise(module.OnAddInInitialize);
    if (outlook) restore_explorer_bar_layout();   // and the Outlook-bar shortcut groups, of which there are none
    if (connection.host_kind != ohaMapPoint) create_command_bars_at_startup();
    module.raise(module.OnAddInStartupComplete);
    if (connection.mode == start_mode::first_start)
        registry_key::create(HKEY_CURRENT_USER, key).set_string(kStartModeValue, L"NORMAL");
    if (outlook) start_outlook_event_sinks();
}

void TafwAddin::restore_explorer_bar_layout() noexcept { RestoreExplorerBarLayout(*module_); }
void TafwAddin::create_command_bars_at_startup() noexcept { CreateExplorerBarsAtStartup(*module_); }

void TafwAddin::connect_host_application_events() {
    auto wrapper = std::make_unique<TOutlookApplication>();
    wrapper->CountEventsIn(&calls_);
    wrapper->ConnectTo(module_->HostApplication());
    module_->AttachHostWrapper(std::move(wrapper));
}

void TafwAddin::start_outlook_event_sinks() {
    tracking_ = std::make_unique<outlook_tracking>(*module_);
    tracking_->start();
}

void TafwAddin::begin_shutdown() { module_->raise(module_->OnAddInBeginShutdown); }

// The user switched the add-in off while the host keeps running: what it
// placed into the host goes, and so do the toolbar records. When the host
// refused part of the removal, the records stay with what is left and the
// failure is the answer to the disconnection.
void TafwAddin::remove_module_for_user() {
    begin_shutdown();
    remove_command_bars();
    const std::wstring key = addin_key();
    delete_key_tree(HKEY_CURRENT_USER, key + L"\\CommandBars");
    delete_key_tree(HKEY_CURRENT_USER, key + L"\\Controls");
}

// From every window the add-in follows, each of which has its copy of the
// bars; then what the module still has bound (the window the bars were bound
// to may have closed).
void TafwAddin::remove_command_bars() {
    RebindExplorerBarsWhenWindowClosed(*module_);
    ForgetExplorerBarsOfClosedWindows(*module_);
    std::exception_ptr first_failure;
    if (tracking_) {
        std::vector<IDispatch*> explorers;
        for (const auto& explorer : tracking_->Explorers())
            if (explorer->DefaultInterface()) explorers.push_back(explorer->DefaultInterface());
        try {
            RemoveExplorerBarCopies(*module_, still_open(module_->HostApplication(), explorers));
        } catch (...) {
            first_failure = std::current_exception();
        }
    }
    RemoveCommandBars(*module_);
    if (first_failure) std::rethrow_exception(first_failure);
}

// The host is let go at once: the sinks unadvised, the module's registry key
// and host references dropped, a modal loop of the add-in's ended. The
// objects themselves go now, or, when the host disconnects from inside a call
// of its own that still runs here (a handler's message loop), once the
// outermost has returned.
void TafwAddin::clean_up() noexcept {
    if (tracking_) tracking_->stop();
    if (module_) module_->release_before_destruction();
    ribbon_ui_.Reset();
    started_ = false;
    shutting_down_ = false;
    if (!tracking_ && !module_) return;
    try {
        retired_.emplace_back(std::move(tracking_), std::move(module_));
    } catch (...) {
        release_outlook_event_sinks();   // no room to keep them: freed now
        module_.reset();
    }
    if (!calls_.inside_call()) free_retired();
}

void TafwAddin::free_retired() noexcept {
    std::vector<retired_connection> leaving;
    leaving.swap(retired_);   // freeing may pump messages, and a call may retire another connection
    for (auto& connection : leaving) {
        connection.tracking.reset();
        connection.module.reset();
    }
}

// The failure of an IDTExtensibility2 method, as error information naming the
// class's error interface and ProgID; E_UNEXPECTED unless it carries a code.
HRESULT TafwAddin::report_failure() noexcept {
    return report_at_boundary(factory_.ErrorIID(), factory_.ProgID().c_str(), E_UNEXPECTED);
}

}  // namespace flinter
