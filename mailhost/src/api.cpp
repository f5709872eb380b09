// The DLL's exports: the test-driving entry points and the COM server of the
// simulated Outlook.Application. Every export is a boundary: nothing unwinds out.
#include <atomic>

#include "addins.h"
#include "addins_dialog.h"
#include "clipboard_holder.h"
#include "com/class_factory.h"
#include "com/hresult_error.h"
#include "com/module.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "explorer_view.h"
#include "ids.h"
#include "mapi_message.h"
#include "model.h"
#include "options_dialog.h"
#include "ribbon.h"

using namespace mailhost;

namespace {

std::atomic<long> g_locks{0};

application& running() {
    auto& app = running_application();
    if (!app) fail(RPC_E_DISCONNECTED, L"Outlook is not running.");
    return *app;
}

std::shared_ptr<explorer> explorer_at(int index) {
    auto& list = running().explorers;
    if (index < 1 || index > static_cast<int>(list.size())) fail(DISP_E_BADINDEX, L"No such explorer.");
    return list[index - 1];
}

std::shared_ptr<folder> folder_named(const wchar_t* name) {
    auto found = running().find_folder(name ? name : L"Inbox");
    if (!found) fail(E_INVALIDARG, L"No such folder.");
    return found;
}

std::shared_ptr<inspector> inspector_at(int index) {
    auto& list = running().inspectors;
    if (index < 1 || index > static_cast<int>(list.size())) fail(DISP_E_BADINDEX, L"No such inspector.");
    return list[index - 1];
}

// The control a user would use: the first with the tag that the user can reach.
std::shared_ptr<control> control_tagged(int index, const wchar_t* tag) {
    auto found = explorer_at(index)->bars()->find_for_user(tag ? tag : L"");
    if (!found) fail(E_INVALIDARG, L"No control carries this tag.");
    return found;
}

// An out-parameter a user action may write: only when the action runs now, not
// when it is queued and the caller's variable may be gone by then.
BOOL* answer_now(BOOL* out) { return running().queueing_user_actions() ? nullptr : out; }

// "Explorer2", "Inspector1": that window now, named by its serial; anything else as given.
std::wstring fault_target(const wchar_t* given) {
    const std::wstring target = given ? given : L"";
    for (const std::wstring window : {L"Explorer", L"Inspector"}) {
        const std::wstring number = target.substr(std::min(window.size(), target.size()));
        if (!target.starts_with(window) || number.empty() ||
            number.find_first_not_of(L"0123456789") != std::wstring::npos)
            continue;
        const int index = std::stoi(number);
        const audited& object = window == L"Explorer" ? static_cast<const audited&>(*explorer_at(index))
                                                      : static_cast<const audited&>(*inspector_at(index));
        return L"#" + std::to_wstring(object.serial());
    }
    return target;
}

std::vector<std::wstring> split(const std::wstring& list) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto end = list.find(L';', start);
        std::wstring part = list.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return parts;
}

// The versions modelled: Outlook 2003, and 2010 and 2016 with their ribbon.
int major_version(const wchar_t* version) {
    if (!version) return 11;
    for (int major : {11, 14, 16})
        if (std::to_wstring(major) + L".0" == version) return major;
    fail(E_INVALIDARG, L"Outlook's version is 11.0, 14.0 or 16.0.");
}

// The ribbon button an explorer shows with this id or label.
std::pair<std::shared_ptr<ribbon_connection>, std::wstring> ribbon_button_of(const wchar_t* control) {
    const std::wstring wanted = control ? control : L"";
    if (running().addins)
        for (auto& ribbon : running().addins->ribbons())
            if (const ribbon_button* button = ribbon->find_button(wanted)) return {ribbon, button->id};
    fail(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), L"No ribbon button has this id or label.");
}

BSTR to_bstr(const std::wstring& text) { return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// Registering Outlook's class outside a test prefix would hide a real Outlook.
bool may_register() {
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return true;
    wchar_t value[8] = {};
    return ::GetEnvironmentVariableW(L"MAILHOST_ALLOW_REGISTER", value, 8) && value[0] == L'1';
}

// HKEY_CLASSES_ROOT writes to HKLM\Software\Classes, where Wine's CLSIDFromProgID looks.
void set_value(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    flinter::registry_key::create(HKEY_LOCAL_MACHINE, key, KEY_WRITE).set_string(name, value);
}

std::wstring clsid_text() {
    wchar_t text[64];
    ::StringFromGUID2(ids::CLSID_Application, text, 64);
    return text;
}

// Outlook started through automation: no window, every registered add-in
// loaded, and in the running-object table.
mailbox_options automation_options() {
    mailbox_options options;
    wchar_t value[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"MAILHOST_MAILBOX", value, MAX_PATH)) options.mailbox = value;
    options.explorers = 0;
    options.load_all_addins = true;
    options.register_running = true;
    return options;
}

// What a creation of Outlook.Application hands out: Outlook runs once, so a
// second creation gets the running application.
struct outlook_instance {
    static HRESULT create_instance(REFIID iid, void** out) {
        if (const HRESULT hr = take_fault(L"ClassFactory", L"CreateInstance"); FAILED(hr)) return hr;
        auto app = running_application();
        if (!app) app = application::start(automation_options());
        return app->QueryInterface(iid, out);
    }
};

}  // namespace

#define EXPORT_BOUNDARY catch (...) { return flinter::report_at_boundary(); }

extern "C" {

__declspec(dllexport) HRESULT mailhost_start(const mailhost_options* options, IDispatch** out) try {
    if (!options || !out) return E_POINTER;
    *out = nullptr;
    mailbox_options chosen;
    chosen.mailbox = options->mailbox ? options->mailbox : L"";
    chosen.outbox_dir = options->outbox_dir ? options->outbox_dir : L"";
    chosen.explorers = options->explorers;
    if (options->addins) {
        chosen.load_all_addins = std::wstring(options->addins) == L"*";
        if (!chosen.load_all_addins) chosen.addins = split(options->addins);
    }
    chosen.register_running = options->register_running != 0;
    chosen.picture_support = options->picture_support != 0;
    chosen.keep_command_bars = options->keep_command_bars != 0;
    chosen.version = major_version(options->version);
    if (running_application()) return E_FAIL;   // one Outlook at a time; the running one keeps its state
    release_clipboard();
    start_session(options->keep_armed_faults != 0, options->no_audit == 0);
    auto app = application::start(std::move(chosen));
    *out = app->dispatch().Detach();
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_quit(void) try {
    if (auto app = running_application()) app->quit();
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) BOOL mailhost_running(void) { return running_application() != nullptr; }

__declspec(dllexport) HRESULT mailhost_open_explorer(const wchar_t* folder, BOOL activate, int* index) try {
    auto window = running().open_explorer(folder_named(folder), true);
    if (index) *index = static_cast<int>(running().explorers.size());
    if (activate && !window->closed()) window->activate();
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_activate_explorer(int index) try {
    auto window = explorer_at(index);
    return running().perform([window] {
        window->activate();
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_close_explorer(int index) try {
    auto window = explorer_at(index);
    return running().perform([window] {
        window->close();
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) int mailhost_explorer_count(void) {
    auto& app = running_application();
    return app ? static_cast<int>(app->explorers.size()) : 0;
}

__declspec(dllexport) HRESULT mailhost_select(int index, const int* items, int count) try {
    auto window = explorer_at(index);
    auto& all = window->current_folder()->items;
    std::vector<std::shared_ptr<mail_item>> chosen;
    for (int i = 0; i < count; ++i) {
        if (items[i] < 1 || items[i] > static_cast<int>(all.size())) return DISP_E_BADINDEX;
        chosen.push_back(all[items[i] - 1]);
    }
    return running().perform([window, chosen] {
        window->select(chosen);
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_switch_folder(int index, const wchar_t* folder, BOOL* cancelled) try {
    if (cancelled) *cancelled = FALSE;
    auto window = explorer_at(index);
    auto target = folder_named(folder);
    cancelled = answer_now(cancelled);
    return running().perform([window, target, cancelled] {
        const bool switched = window->switch_folder(target);
        if (cancelled) *cancelled = !switched;
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_switch_view(int index, const wchar_t* view, BOOL* cancelled) try {
    if (cancelled) *cancelled = FALSE;
    auto window = explorer_at(index);
    const std::wstring wanted = view ? view : L"";
    cancelled = answer_now(cancelled);
    return running().perform([window, wanted, cancelled] {
        const bool switched = window->switch_view(wanted);
        if (cancelled) *cancelled = !switched;
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_open_inspector(const wchar_t* folder, int item, int* index) try {
    auto& items = folder_named(folder)->items;
    if (item < 1 || item > static_cast<int>(items.size())) return DISP_E_BADINDEX;
    running().open_inspector(items[item - 1]);
    if (index) *index = static_cast<int>(running().inspectors.size());
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_close_inspector(int index) try {
    auto window = inspector_at(index);
    return running().perform([window] {
        window->close();
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HWND mailhost_explorer_window(int index) {
    auto& app = running_application();
    if (!app || index < 1 || index > static_cast<int>(app->explorers.size())) return nullptr;
    return app->explorers[index - 1]->window();
}

__declspec(dllexport) HRESULT mailhost_locate(int index, const wchar_t* element, RECT* where) try {
    if (!element || !where) return E_POINTER;
    *where = {};
    const auto found = explorer_at(index)->view().locate(element);
    if (!found) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    *where = *found;
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_open_addins_dialog(int index, HWND* dialog) try {
    if (!dialog) return E_POINTER;
    *dialog = open_addins_dialog(*explorer_at(index));
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_fire(const wchar_t* object, DISPID id, VARIANT* args, int count) try {
    if (!object || (count > 0 && !args)) return E_POINTER;
    application& app = running();
    const std::wstring name = object;
    std::span<VARIANT> list(args, count > 0 ? count : 0);
    if (app.fire_collection(name, id, list)) return S_OK;
    if (name.starts_with(L"Explorer")) explorer_at(std::stoi(name.substr(8)))->fire(ids::DIID_ExplorerEvents, id, list);
    else if (name.starts_with(L"Inspector")) inspector_at(std::stoi(name.substr(9)))->fire(ids::DIID_InspectorEvents, id, list);
    else return E_INVALIDARG;
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_click(int index, const wchar_t* tag, BOOL* cancel_default) try {
    if (cancel_default) *cancel_default = FALSE;
    auto target = control_tagged(index, tag);
    cancel_default = answer_now(cancel_default);
    // What a user cannot see or use does not respond; the control is looked at
    // when the action runs, which for a queued action is when it is delivered.
    return running().perform([target, cancel_default] {
        bool cancelled = false;
        const HRESULT hr = target->click_as_user(&cancelled);
        if (cancel_default && SUCCEEDED(hr)) *cancel_default = cancelled;
        return hr;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_ribbon_click(int index, const wchar_t* control) try {
    auto window = explorer_at(index);
    if (!running().has_ribbon()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    auto [ribbon, id] = ribbon_button_of(control);
    return running().perform([window, ribbon, id] {
        if (window->closed()) return MAILHOST_E_UNREACHABLE;   // the window went before the click arrived
        ribbon->click(id, window);
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) BSTR mailhost_ribbon_controls(int index) try {
    explorer_at(index);
    std::wstring lines;
    if (running().has_ribbon() && running().addins) {
        for (auto& ribbon : running().addins->ribbons()) {
            const auto groups = ribbon->explorer_groups();   // getImage may change them
            for (const auto& group : groups) {
                if (group.tab != L"TabMail") continue;
                lines += L"group\t" + group.id + L"\t" + group.label + L"\n";
                for (const auto& button : group.buttons) {
                    const ribbon_picture* picture = ribbon->picture(button.id);
                    const std::wstring size = picture ? std::to_wstring(picture->width) + L"x" + std::to_wstring(picture->height)
                                                      : L"none";
                    lines += L"button\t" + button.id + L"\t" + button.label + L"\t" + size + L"\t" + button.tag + L"\t" +
                             button.screentip + L"\t" + button.supertip + L"\n";
                }
            }
        }
    }
    return to_bstr(lines);
} catch (...) {
    return nullptr;
}

__declspec(dllexport) HRESULT mailhost_change(int index, const wchar_t* tag, const wchar_t* text) try {
    auto target = control_tagged(index, tag);
    const std::wstring typed = text ? text : L"";
    return running().perform([target, typed] { return target->change_as_user(typed); });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_button_face(int index, const wchar_t* tag, BOOL mask, int* source, int* width,
                                                   int* height, DWORD* pixels, int capacity) try {
    const face& f = control_tagged(index, tag)->button_face();
    const auto& data = mask ? f.mask : f.pixels;
    if (source) *source = f.source;
    if (width) *width = f.width;
    if (height) *height = f.height;
    if (pixels && capacity > 0)
        std::copy_n(data.begin(), std::min<std::size_t>(data.size(), static_cast<std::size_t>(capacity)), pixels);
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_queue_user_actions(BOOL queue) try {
    running().queue_user_actions(queue != FALSE);
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_connect_addin(const wchar_t* prog_id, BOOL connect) try {
    if (!prog_id) return E_POINTER;
    const std::wstring wanted = prog_id;
    return running().perform([wanted, connect] {
        running().addins->set_connected(wanted, connect != FALSE);
        return S_OK;
    });
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_add_folder(const wchar_t* parent, const wchar_t* name, int item_type) try {
    if (!name) return E_POINTER;
    auto under = parent ? folder_named(parent) : running().root();
    under->add_child(name, item_type);
    model_changed();
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_show_options(const wchar_t* folder, BSTR* titles) try {
    if (titles) *titles = nullptr;
    std::wstring text;
    for (const auto& title : show_options_dialog(running(), folder ? folder_named(folder) : nullptr)) text += title + L"\n";
    if (titles) *titles = to_bstr(text);
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_hold_clipboard(DWORD milliseconds) try {
    hold_clipboard(milliseconds);
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) void mailhost_release_clipboard(void) { release_clipboard(); }

__declspec(dllexport) HRESULT mailhost_add_message(const wchar_t* folder, const char* eml, int item_class) try {
    if (!eml) return E_POINTER;
    make<mail_item>(running_application(), std::string(eml), item_class)->move_to(folder_named(folder));
    model_changed();
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) int mailhost_folder_count(const wchar_t* folder) {
    try {
        return static_cast<int>(folder_named(folder)->items.size());
    } catch (...) {
        return -1;
    }
}

__declspec(dllexport) BSTR mailhost_last_sent_file(void) {
    auto& app = running_application();
    return to_bstr(app ? app->last_sent_file : L"");
}

__declspec(dllexport) HRESULT mailhost_create_message(const char* headers, IUnknown** message) try {
    if (!message) return E_POINTER;
    *message = make_mapi_message(headers ? std::optional<std::string>(headers) : std::nullopt);
    return *message ? S_OK : E_OUTOFMEMORY;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_fail(const wchar_t* target, const wchar_t* member, HRESULT hr, int times) try {
    const std::wstring chosen = member ? member : L"*";
    inject_fault(fault_target(target), chosen, hr, times);
    // GetActiveObject is the system's: Outlook takes part by leaving the table.
    if (::_wcsicmp(chosen.c_str(), L"GetActiveObject") == 0 && running_application()) running().leave_running_object_table();
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_fail_after(const wchar_t* target, const wchar_t* member, HRESULT hr, int skip,
                                                  int times) try {
    inject_fault(fault_target(target), member ? member : L"*", hr, times, skip);
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) void mailhost_clear_faults(void) { clear_faults(); }

__declspec(dllexport) long mailhost_injected_failures(void) { return injected_failures(); }

__declspec(dllexport) void mailhost_record_members(BOOL on) {
    try {
        record_members(on != FALSE);
    } catch (...) {
        // Out of memory: nothing is recorded.
    }
}

__declspec(dllexport) BSTR mailhost_recorded_members(void) {
    try {
        return to_bstr(recorded_members());
    } catch (...) {
        return nullptr;
    }
}

__declspec(dllexport) BSTR mailhost_call_log(void) {
    try {
        return to_bstr(call_log());
    } catch (...) {
        return nullptr;
    }
}

__declspec(dllexport) void mailhost_clear_call_log(void) { clear_call_log(); }

__declspec(dllexport) BSTR mailhost_outstanding_refs(void) {
    try {
        return to_bstr(outstanding_references());
    } catch (...) {
        return nullptr;
    }
}

__declspec(dllexport) long mailhost_outstanding_ref_count(void) { return outstanding_reference_count(); }

__declspec(dllexport) BSTR mailhost_advised_sinks(void) {
    try {
        return to_bstr(advised_sinks_report());
    } catch (...) {
        return nullptr;
    }
}

__declspec(dllexport) long mailhost_advised_sink_count(void) { return advised_sink_count(); }

__declspec(dllexport) HRESULT mailhost_register(void) try {
    if (!may_register()) return E_ACCESSDENIED;
    wchar_t path[MAX_PATH];
    flinter::check_win32(::GetModuleFileNameW(flinter::this_module(), path, MAX_PATH) != 0);
    const std::wstring clsid = L"Software\\Classes\\CLSID\\" + clsid_text();
    set_value(clsid, nullptr, L"Microsoft Outlook (simulated)");
    set_value(clsid + L"\\InprocServer32", nullptr, path);
    set_value(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    set_value(clsid + L"\\ProgID", nullptr, L"Outlook.Application");
    set_value(L"Software\\Classes\\Outlook.Application", nullptr, L"Microsoft Outlook (simulated)");
    set_value(L"Software\\Classes\\Outlook.Application\\CLSID", nullptr, clsid_text());
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT mailhost_unregister(void) try {
    if (!may_register()) return E_ACCESSDENIED;
    flinter::delete_key_tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + clsid_text());
    flinter::delete_key_tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Outlook.Application");
    return S_OK;
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) try {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != ids::CLSID_Application) return CLASS_E_CLASSNOTAVAILABLE;
    return flinter::make_com<flinter::class_factory<outlook_instance>>(&g_locks)->QueryInterface(iid, out);
} EXPORT_BOUNDARY

__declspec(dllexport) HRESULT __stdcall DllCanUnloadNow(void) {
    return (g_locks == 0 && !running_application() && outstanding_reference_count() == 0) ? S_OK : S_FALSE;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) { return mailhost_register(); }
__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) { return mailhost_unregister(); }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    // At process exit (reserved set) the classes go with the process.
    if (reason == DLL_PROCESS_DETACH && !reserved) flinter::unregister_window_classes();
    return TRUE;
}

}  // extern "C"
