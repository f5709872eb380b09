// TafwAddin: the COM object the host creates and connects through
// IDTExtensibility2. It creates the module on connection, runs the start-up
// sequence once the host has started, tears everything down on
// disconnection, and answers IDispatch, IProvideClassInfo and
// ISupportErrorInfo from the factory's type information (its default
// dispatch interface, Ikorv, has no members of its own). A host with a
// ribbon gets the module's ribbon groups through IRibbonExtensibility and
// calls their callbacks by name through IDispatch, which answers those
// names before the type information. It may be aggregated. The host may disconnect it, and give it its last Release, from
// inside one of its own handlers (a box's message loop): the host is let go
// at once, and what the running handlers use is freed when the outermost
// call of the host has returned. Host UI thread only; every COM method is a
// boundary: failures become HRESULTs with error information naming the class.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <addin.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "addin/com_addin_module.h"
#include "addin/outlook_tracking.h"
#include "addin/ribbon.h"
#include "com/call_depth.h"
#include "com/com_object.h"

namespace flinter {

class TafwFactory;

class TafwAddin : public com_object<TafwAddin, IDTExtensibility2, ISupportErrorInfo, IProvideClassInfo,
                                    IRibbonExtensibility, answers_as<IDispatch, IDTExtensibility2>> {
    using base = com_object<TafwAddin, IDTExtensibility2, ISupportErrorInfo, IProvideClassInfo, IRibbonExtensibility,
                            answers_as<IDispatch, IDTExtensibility2>>;

public:
    // outer: the controlling unknown when the object is aggregated, else null.
    TafwAddin(TafwFactory& factory, IUnknown* outer);
    ~TafwAddin() override;

    // The (inner) IUnknown to hand to the creator.
    IUnknown* creation_unknown() noexcept;
    // The server's object count follows the objects' lives.
    static void count_object(int delta) noexcept;
    // The factory's default dispatch interface, whose members are IDispatch's.
    IUnknown* query_more(REFIID iid) noexcept;

    // IUnknown, delegated to the controlling unknown when aggregated.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IDispatch: the ribbon's callbacks, then the members of the type information.
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argument_error) noexcept override;

    // IDTExtensibility2
    STDMETHODIMP OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addin_instance,
                              SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnDisconnection(ext_DisconnectMode mode, SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) noexcept override;

    // IRibbonExtensibility: the XML of the module's group for that ribbon, or
    // the empty text (no ribbon of the add-in's). The explorer's group takes
    // the place of the explorer bars for the rest of the connection.
    STDMETHODIMP GetCustomUI(BSTR ribbon_id, BSTR* xml) noexcept override;

    // ISupportErrorInfo, IProvideClassInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) noexcept override;
    STDMETHODIMP GetClassInfo(ITypeInfo** info) noexcept override;

    // The connected module, or null.
    TafwCOMAddInModule* Module() const noexcept { return module_.get(); }
    // Outlook's windows as followed since start-up; null before it and after
    // disconnection, and in other hosts.
    outlook_tracking* Tracking() const noexcept { return tracking_.get(); }
    // The host's calls now running in the add-in: each IDTExtensibility2
    // method, Outlook event and toolbar click that may run module code is one.
    call_depth& HostCalls() noexcept { return calls_; }
    // The ribbon the host handed to onLoad; null before and after the connection.
    IDispatch* RibbonUI() const noexcept { return ribbon_ui_.Get(); }

private:
    class inner_unknown : public IUnknown {
    public:
        explicit inner_unknown(TafwAddin& owner) noexcept : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override;
        STDMETHODIMP_(ULONG) AddRef() noexcept override;
        STDMETHODIMP_(ULONG) Release() noexcept override;

    private:
        TafwAddin& owner_;
    };

    void run_startup();
    void begin_shutdown();
    void remove_module_for_user();
    // The module's bars and their controls leave the host (the user removes the add-in).
    void remove_command_bars();
    void clean_up() noexcept;
    void free_retired() noexcept;
    HRESULT report_failure() noexcept;

    // A callback the ribbon XML names: onLoad keeps the ribbon, onAction
    // runs the button's click routine, getImage answers its large picture.
    // Harmless while no module is connected, before start-up and once the
    // host began to shut down.
    HRESULT invoke_ribbon_callback(DISPID id, DISPPARAMS* params, VARIANT* result);
    void ribbon_action(const ribbon_button& button);
    const ribbon_button* ribbon_button_of(IDispatch* control) const;
    std::wstring addin_key() const;

    // The Outlook event sinks: the application's, kept by the module, and
    // those of the windows, the collections and the namespace.
    void connect_host_application_events();
    void start_outlook_event_sinks();
    void release_outlook_event_sinks() noexcept { tracking_.reset(); }

    // The toolbar's start-up steps: the explorer bars' saved positions, then
    // the module's bars in the active explorer.
    void restore_explorer_bar_layout() noexcept;
    void create_command_bars_at_startup() noexcept;

    // A connection the host has let go of, kept for the handlers still running in it.
    struct retired_connection {
        std::unique_ptr<outlook_tracking> tracking;   // freed before the module it raises events of
        module_ptr module;
    };

    TafwFactory& factory_;
    IUnknown* outer_;   // not owned: the aggregate owns this object
    inner_unknown inner_{*this};
    call_depth calls_{static_cast<IDTExtensibility2*>(this), [this] { free_retired(); }};
    module_ptr module_;
    std::unique_ptr<outlook_tracking> tracking_;   // freed before the module it raises events of
    std::vector<retired_connection> retired_;
    Microsoft::WRL::ComPtr<IDispatch> ribbon_ui_;
    bool started_ = false;
    bool shutting_down_ = false;
};

// A new object of class T (a TafwAddin) whose creator's reference is held by
// its (inner) IUnknown: released through an aggregated object's own
// interfaces, it would go to the outer object instead.
template <class T>
Microsoft::WRL::ComPtr<IUnknown> create_addin_object(TafwFactory& factory, IUnknown* outer) {
    Microsoft::WRL::ComPtr<IUnknown> created;
    *created.GetAddressOf() = (new T(factory, outer))->creation_unknown();
    return created;
}

}  // namespace flinter
