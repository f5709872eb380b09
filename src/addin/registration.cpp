#include "addin/registration.h"

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>

#include "addin/addin_factory.h"
#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "addin/type_information.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "framework/framework_error.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

std::wstring guid_text(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring folder_of(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

// What registration reads from a registration-time module instance.
struct module_values {
    std::wstring name;
    TafwHostAppSet apps;
    bool display_alerts = false;
};

module_values read_module_values(const TafwFactory& factory) {
    const module_ptr module = factory.CreateModule();
    if (module->AddInName().empty()) throw framework_error("The AddInName property can not be empty.");
    if (module->SupportedApps().empty()) throw framework_error("The SupportedApps property can not be empty.");
    return {module->AddInName(), module->SupportedApps(), module->DisplayAlerts};
}

template <class Action>
void for_each_installed_host(TafwHostAppSet apps, Action action) {
    for (int i = 0; i < kHostAppCount; ++i) {
        const auto app = static_cast<TafwOfficeHostApp>(i);
        if (!apps.contains(app)) continue;
        if (const auto clsid = installed_host_class(app)) action(app, *clsid);
    }
}

std::wstring running_host_names(TafwHostAppSet apps) {
    std::wstring names;
    for_each_installed_host(apps, [&](TafwOfficeHostApp app, const CLSID& clsid) {
        ComPtr<IUnknown> running;
        if (SUCCEEDED(::GetActiveObject(clsid, nullptr, &running)) && running)
            names += std::wstring(host_app(app).registry_name) + L" ";
    });
    return names;
}

// Asks the user to close the running hosts until none runs, or they say go on.
void check_running_hosts(const module_values& values) {
    if (!values.display_alerts) return;
    for (;;) {
        const std::wstring running = running_host_names(values.apps);
        if (running.empty()) return;
        const std::wstring text = L"Please close all running host application instances:\r\n" + running;
        switch (library_dialogs().running_hosts_dialog(values.name, text)) {
            case IDRETRY: continue;
            case IDIGNORE: return;
            default: throw framework_error("The registration process has been canceled.");
        }
    }
}

// ---- the type library ----

void register_type_library(TComServer& server) {
    const std::wstring path = server.ServerFileName();
    const std::wstring help = folder_of(path);
    check(::RegisterTypeLib(server.TypeLib(), const_cast<LPOLESTR>(path.c_str()), const_cast<LPOLESTR>(help.c_str())));
}

void unregister_type_library(TComServer& server) {
    using unregister_fn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    const HMODULE oleaut = ::GetModuleHandleW(L"oleaut32.dll");
    const auto unregister = oleaut ? reinterpret_cast<unregister_fn>(
                                         reinterpret_cast<void (*)()>(::GetProcAddress(oleaut, "UnRegisterTypeLib")))
                                   : nullptr;
    if (!unregister) return;
    const TLIBATTR a = library_attributes(server.TypeLib());
    // A library registered only in part, or not at all, must not keep the
    // rest of the add-in registered.
    unregister(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

// ---- the COM class keys ----

void set_class_value(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    try {
        registry_key::create(HKEY_CLASSES_ROOT, key, KEY_WRITE).set_string(name, value);
    } catch (const hresult_error&) {
        throw framework_error("Error creating system registry entry");
    }
}

std::wstring type_library_version(TComServer& server) {
    const TLIBATTR attributes = library_attributes(server.TypeLib());
    wchar_t text[32];
    std::swprintf(text, 32, L"%d.%d", attributes.wMajorVerNum, attributes.wMinorVerNum);
    return text;
}

void write_class_keys(TafwFactory& factory) {
    TComServer& server = factory.Server();
    const std::wstring clsid = L"CLSID\\" + guid_text(factory.ClassID());
    const std::wstring& prog_id = factory.ProgID();
    set_class_value(clsid, nullptr, factory.Description());
    set_class_value(clsid + L"\\InprocServer32", nullptr, inproc_server_path(server.ServerFileName()));
    set_class_value(clsid + L"\\InprocServer32", L"ThreadingModel", TafwFactory::kThreadingModel);
    if (!prog_id.empty()) {
        set_class_value(prog_id, nullptr, factory.Description());
        set_class_value(prog_id + L"\\Clsid", nullptr, guid_text(factory.ClassID()));
        set_class_value(clsid + L"\\ProgID", nullptr, prog_id);
    }
    set_class_value(clsid + L"\\Version", nullptr, type_library_version(server));
    set_class_value(clsid + L"\\TypeLib", nullptr, guid_text(library_attributes(server.TypeLib()).guid));
}

void delete_class_keys(TafwFactory& factory) noexcept {
    const std::wstring clsid = L"CLSID\\" + guid_text(factory.ClassID());
    const std::wstring& prog_id = factory.ProgID();
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (clsid + L"\\TypeLib").c_str());
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (clsid + L"\\Version").c_str());
    if (!prog_id.empty()) {
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (clsid + L"\\ProgID").c_str());
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (prog_id + L"\\Clsid").c_str());
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, prog_id.c_str());
    }
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (clsid + L"\\InprocServer32").c_str());
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, clsid.c_str());
}

// ---- the hosts' add-in keys ----

// Raises one of the registration events with the module's registry open on
// the host's add-in key; a failing handler goes to the module error report.
void raise_registration_event(TafwCOMAddInModule& module, const notify_event& event, const std::wstring& key,
                              TafwOfficeHostApp app, bool create_key) {
    if (!event) return;
    if (!module.OpenRegistry(key, create_key)) return;
    module.connect({.host_kind = app});
    module.raise(event);
    module.CloseRegistry();
}

void write_addin_keys(TafwFactory& factory) {
    const module_ptr module = factory.CreateModule();
    for_each_installed_host(module->SupportedApps(), [&](TafwOfficeHostApp app, const CLSID&) {
        const std::wstring key = addin_key_path(app, factory.ProgID());
        auto values = registry_key::create(module->RegisterForAllUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key,
                                           KEY_WRITE);
        values.set_string(L"FriendlyName", module->AddInName());
        values.set_string(L"Description", module->Description());
        values.set_dword(L"LoadBehavior", static_cast<DWORD>(module->LoadBehavior));
        values.set_dword(L"CommandLineSafe", 0);
        raise_registration_event(*module, module->OnAfterAddinRegister, key, app, true);
    });
}

void delete_addin_keys(TafwFactory& factory, TafwCOMAddInModule& module) {
    for_each_installed_host(module.SupportedApps(), [&](TafwOfficeHostApp app, const CLSID&) {
        const std::wstring key = addin_key_path(app, factory.ProgID());
        raise_registration_event(module, module.OnBeforeAddinUnregister, key, app, false);
        if (module.RegisterForAllUsers) delete_key_tree(HKEY_LOCAL_MACHINE, key);
        delete_key_tree(HKEY_CURRENT_USER, key);
    });
}

// ---- clean-up inside the hosts ----

// Marks the add-in as being uninstalled and keeps the host from loading it,
// in keys that exist only.
void mark_uninstalling(const std::wstring& key, bool all_users) {
    if (auto addin = registry_key::open(HKEY_CURRENT_USER, key, KEY_SET_VALUE))
        addin->set_string(L"AFWStartMode", L"UNINSTALL");
    if (auto addin = registry_key::open(all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key, KEY_SET_VALUE))
        addin->set_dword(L"LoadBehavior", 0);
}

// A running instance of the host, or a new one that the caller must quit.
ComPtr<IDispatch> attach_or_start_host(const CLSID& clsid, bool& started) {
    ComPtr<IUnknown> running;
    ComPtr<IDispatch> host;
    started = false;
    if (SUCCEEDED(::GetActiveObject(clsid, nullptr, &running)) && running) {
        check(running.As(&host));
        return host;
    }
    check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&host)));
    started = true;
    return host;
}

// What the module placed into the host itself outlives the add-in's keys:
// in Outlook that is the Outlook-bar shortcut groups, of which this framework
// places none; the command bars it places in Outlook are temporary.
void remove_from_host(TafwCOMAddInModule&, TafwOfficeHostApp) noexcept {}

void clean_up_hosts(TafwFactory& factory, TafwCOMAddInModule& module) {
    try {
        for_each_installed_host(module.SupportedApps(), [&](TafwOfficeHostApp app, const CLSID& clsid) {
            if (app == ohaMapPoint) return;
            mark_uninstalling(addin_key_path(app, factory.ProgID()), module.RegisterForAllUsers);
            bool started = false;
            const ComPtr<IDispatch> host = attach_or_start_host(clsid, started);
            module.connect({.application = host, .host_kind = app});
            remove_from_host(module, app);
            if (started) call(host.Get(), L"Quit");
            module.connect({.host_kind = app});
        });
    } catch (...) {
        module.connect({});
        throw framework_error("Can't unregister add-in controls.");
    }
}

void register_factory(TafwFactory& factory) {
    check_running_hosts(read_module_values(factory));
    write_class_keys(factory);
    write_addin_keys(factory);
}

void unregister_factory(TafwFactory& factory) {
    check_running_hosts(read_module_values(factory));
    {
        const module_ptr module = factory.CreateModule();
        clean_up_hosts(factory, *module);
        delete_addin_keys(factory, *module);
    }
    delete_class_keys(factory);
}

}  // namespace

std::wstring inproc_server_path(const std::wstring& library_path) {
    if (library_path.find(L' ') == std::wstring::npos) return library_path;
    std::wstring short_path(library_path.size() + 1, L'\0');
    const DWORD n = ::GetShortPathNameW(library_path.c_str(), short_path.data(), static_cast<DWORD>(short_path.size()));
    if (n == 0 || n >= short_path.size()) return library_path;
    short_path.resize(n);
    return short_path;
}

void UpdateServerRegistry(TComServer& server, bool do_register) {
    server.SetRegisterDirection(do_register);
    if (do_register) {
        register_type_library(server);
        for (const auto& factory : server.ClassManager().factories()) register_factory(*factory);
    } else {
        unregister_type_library(server);
        for (const auto& factory : server.ClassManager().factories()) unregister_factory(*factory);
    }
}

}  // namespace flinter
