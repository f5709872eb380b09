#include "addins.h"

#include <addin.h>

#include "com/hresult_error.h"
#include "com/registry.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "ids.h"
#include "model.h"
#include "ribbon.h"

namespace mailhost {
namespace {

const wchar_t kAddInsKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns";

// The empty array Office passes as the "custom" argument.
flinter::unique_safearray empty_custom() {
    flinter::unique_safearray custom(::SafeArrayCreateVector(VT_VARIANT, 0, 0));
    if (!custom) fail(E_OUTOFMEMORY, L"Out of memory.");
    return custom;
}

}  // namespace

// One registered add-in as the COMAddIns collection shows it.
class com_addin : public app_object {
public:
    com_addin(std::shared_ptr<application> app, HKEY root, std::wstring prog_id, std::wstring friendly_name,
              std::wstring description, DWORD load_behavior)
        : app_object(std::move(app), L"COMAddIn", {ids::IID_COMAddIn}), root_(root), prog_id_(std::move(prog_id)),
          friendly_name_(std::move(friendly_name)), description_(std::move(description)),
          load_behavior_(load_behavior) {
        property(L"ProgId", [this](const call_args&) { return flinter::variant(prog_id_); });
        property(L"Description", [this](const call_args&) { return flinter::variant(description_); },
                 [this](const call_args& a) { description_ = flinter::variant(a.value()).as_wstring(); });
        property(L"Guid", [this](const call_args&) {
            CLSID clsid{};
            wchar_t text[64] = {};
            if (SUCCEEDED(::CLSIDFromProgID(prog_id_.c_str(), &clsid))) ::StringFromGUID2(clsid, text, 64);
            return flinter::variant(text);
        });
        // Setting Connect is what the COM Add-ins dialog does.
        property(L"Connect", [this](const call_args&) { return flinter::variant(connected()); },
                 [this](const call_args& a) { this->app().addins->set_connected(prog_id_, flinter::variant(a.value()).as_bool()); });
        property(L"Object", [this](const call_args&) {
            return object_.Get() ? flinter::variant(object_.Get()) : flinter::variant(static_cast<IDispatch*>(nullptr));
        }, [this](const call_args& a) { object_ = flinter::variant(a.value()).as_dispatch(); });
        property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
        property(L"Parent", [this](const call_args&) { return this->app().addins->collection_variant(); });
    }

    const std::wstring& prog_id() const { return prog_id_; }
    const std::wstring& description() const { return description_; }
    const std::wstring& friendly_name() const { return friendly_name_; }
    bool loads_at_startup() const { return (load_behavior_ & 3) == 3; }
    bool connected() const { return addin_ != nullptr; }
    bool failed() const { return failed_; }

    // OnConnection; an add-in that fails it is released, its Object cleared and
    // its LoadBehavior left at "not connected" (3 becomes 2), as Office does.
    bool connect(ext_ConnectMode mode) {
        if (addin_) return true;
        const std::wstring who = L"addin " + prog_id_;
        try {
            CLSID clsid{};
            flinter::check(::CLSIDFromProgID(prog_id_.c_str(), &clsid));
            ComPtr<IUnknown> object;
            flinter::check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                              IID_PPV_ARGS(&object)));
            ComPtr<IDTExtensibility2> addin;
            flinter::check(object.As(&addin));
            auto custom = empty_custom();
            SAFEARRAY* array = custom.get();
            log_call(who + L".OnConnection(" + std::to_wstring(mode) + L")");
            flinter::check(addin->OnConnection(app().dispatch().Get(), mode, dispatch().Get(), &array));
            addin_ = addin;
            failed_ = false;
            write_load_behavior(load_behavior_ | 1);
        } catch (const std::exception& e) {
            log_call(who + L" failed: " + flinter::widen(e.what()));
            failed_ = true;
            object_.Reset();
            write_load_behavior(load_behavior_ & ~DWORD{1});
            return false;
        }
        // Office asks for the explorer's ribbon right after the connection.
        if (app().has_ribbon()) {
            ribbon_ = ribbon_connection::attach(shared_app(), prog_id_, addin_.Get());
            load_ribbon(kExplorerRibbon);
        }
        return true;
    }

    void call(const wchar_t* what, HRESULT (STDMETHODCALLTYPE IDTExtensibility2::*operation)(SAFEARRAY**)) {
        if (!addin_) return;
        ComPtr<IDTExtensibility2> addin = addin_;   // the call may disconnect it
        log_call(L"addin " + prog_id_ + L"." + what);
        auto custom = empty_custom();
        SAFEARRAY* array = custom.get();
        log_failure(what, ((*addin.Get()).*operation)(&array));
    }

    void load_ribbon(const std::wstring& ribbon_id) {
        if (auto ribbon = ribbon_) ribbon->load(ribbon_id);
    }
    std::shared_ptr<ribbon_connection> ribbon() const { return addin_ ? ribbon_ : nullptr; }

    void disconnect(ext_DisconnectMode mode) {
        if (!addin_) return;
        ComPtr<IDTExtensibility2> addin = std::move(addin_);
        // The add-in's ribbon goes first: nothing reaches it from the ribbon while it disconnects.
        if (auto ribbon = std::move(ribbon_)) ribbon->detach();
        const std::wstring what = L"OnDisconnection(" + std::to_wstring(mode) + L")";
        log_call(L"addin " + prog_id_ + L"." + what);
        auto custom = empty_custom();
        SAFEARRAY* array = custom.get();
        log_failure(what, addin->OnDisconnection(mode, &array));
        object_.Reset();
        if (mode == ext_dm_UserClosed) write_load_behavior(load_behavior_ & ~DWORD{1});
    }

private:
    // Office carries on whatever an add-in's call answers; the log keeps a failure.
    void log_failure(const std::wstring& what, HRESULT hr) {
        if (FAILED(hr)) {
            wchar_t code[16];
            swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
            log_call(L"addin " + prog_id_ + L"." + what + L" failed: " + code);
        }
    }

    // Where the add-in is registered; a key that has gone is not made again.
    void write_load_behavior(DWORD value) {
        load_behavior_ = value;
        if (auto key = flinter::registry_key::open(root_, std::wstring(kAddInsKey) + L"\\" + prog_id_, KEY_SET_VALUE)) {
            try {
                key->set_dword(L"LoadBehavior", value);
            } catch (const flinter::hresult_error&) {
                // A key Outlook may not write (HKLM for a user): the state stays in memory.
            }
        }
    }

    std::shared_ptr<application> shared_app() const {
        return std::static_pointer_cast<application>(app().shared_from_this());
    }

    HKEY root_;
    std::wstring prog_id_, friendly_name_, description_;
    DWORD load_behavior_;
    bool failed_ = false;
    ComPtr<IDTExtensibility2> addin_;
    ComPtr<IDispatch> object_;
    std::shared_ptr<ribbon_connection> ribbon_;
};

namespace {

class com_addins : public app_object {
public:
    explicit com_addins(std::shared_ptr<application> app) : app_object(std::move(app), L"COMAddIns", {ids::IID_COMAddIns}) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(list().size())); });
        property(L"Item", [this](const call_args& a) {
            auto& entries = list();
            if (a.is_text(0)) {
                for (auto& entry : entries)
                    if (::_wcsicmp(entry->prog_id().c_str(), a.text(0).c_str()) == 0) return entry->as_variant();
                fail(E_INVALIDARG, L"The add-in is not registered.");
            }
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(entries.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return entries[at - 1]->as_variant();
        });
        method(L"Update", [](const call_args&) { return flinter::variant(); });
        property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
    }

private:
    std::vector<std::shared_ptr<com_addin>>& list() const { return app().addins->entries(); }
};

std::shared_ptr<application> shared(application& app) {
    return std::static_pointer_cast<application>(app.shared_from_this());
}

}  // namespace

addin_manager::addin_manager(application& app) : app_(app) { collection_ = make<com_addins>(shared(app)); }

addin_manager::~addin_manager() = default;

void addin_manager::read_registry() {
    const auto& options = app_.options();
    if (!options.load_all_addins && options.addins.empty()) return;
    // A user's own registration comes first; the same ProgID for all users is then passed over.
    read_root(HKEY_CURRENT_USER);
    read_root(HKEY_LOCAL_MACHINE);
}

void addin_manager::read_root(HKEY root_key) {
    const auto& options = app_.options();
    const auto root = flinter::registry_key::open(root_key, kAddInsKey);
    if (!root) return;
    for (const auto& name : root->subkeys()) {
        bool wanted = options.load_all_addins;
        for (const auto& id : options.addins) wanted = wanted || ::_wcsicmp(id.c_str(), name.c_str()) == 0;
        for (const auto& known : entries_) wanted = wanted && ::_wcsicmp(known->prog_id().c_str(), name.c_str()) != 0;
        if (!wanted) continue;
        const auto key = flinter::registry_key::open(root->get(), name);
        if (!key) continue;
        const std::wstring friendly_name = key->string(L"FriendlyName").value_or(L"");
        std::wstring description = key->string(L"Description").value_or(L"");
        if (description.empty()) description = friendly_name;
        entries_.push_back(make<com_addin>(shared(app_), root_key, name, friendly_name, description,
                                           key->dword(L"LoadBehavior").value_or(0)));
    }
}

void addin_manager::startup() {
    read_registry();
    for (auto& entry : entries_)
        if (entry->loads_at_startup()) entry->connect(ext_cm_Startup);
    announce_update();
    app_.fire(ids::DIID_ApplicationEvents, ids::kStartup, {});
    const auto entries = entries_;   // a call may change the list
    for (auto& entry : entries) entry->call(L"OnStartupComplete", &IDTExtensibility2::OnStartupComplete);
}

void addin_manager::shutdown() {
    const auto entries = entries_;
    for (auto& entry : entries) entry->call(L"OnBeginShutdown", &IDTExtensibility2::OnBeginShutdown);
    for (auto& entry : entries) entry->disconnect(ext_dm_HostShutdown);
}

void addin_manager::announce_update() {
    const auto entries = entries_;
    for (auto& entry : entries) entry->call(L"OnAddInsUpdate", &IDTExtensibility2::OnAddInsUpdate);
}

void addin_manager::set_connected(const std::wstring& prog_id, bool connect) {
    for (auto& entry : entries_) {
        if (::_wcsicmp(entry->prog_id().c_str(), prog_id.c_str()) != 0) continue;
        if (entry->connected() == connect) return;
        auto keep = entry;
        const bool changed = connect ? keep->connect(ext_cm_AfterStartup) : (keep->disconnect(ext_dm_UserClosed), true);
        if (changed) announce_update();
        return;
    }
    fail(E_INVALIDARG, L"The add-in is not registered.");
}

void addin_manager::load_ribbons(const std::wstring& ribbon_id) {
    const auto entries = entries_;
    for (auto& entry : entries)
        if (entry->connected()) entry->load_ribbon(ribbon_id);
}

std::vector<std::shared_ptr<ribbon_connection>> addin_manager::ribbons() const {
    std::vector<std::shared_ptr<ribbon_connection>> result;
    for (const auto& entry : entries_)
        if (auto ribbon = entry->ribbon()) result.push_back(std::move(ribbon));
    return result;
}

flinter::variant addin_manager::collection_variant() { return collection_->as_variant(); }

namespace {

// The file of the add-in's server, as COM would find it; empty when unregistered.
std::wstring server_location(const std::wstring& prog_id) {
    CLSID clsid{};
    wchar_t text[64] = {};
    if (FAILED(::CLSIDFromProgID(prog_id.c_str(), &clsid)) || !::StringFromGUID2(clsid, text, 64)) return {};
    const auto key = flinter::registry_key::open(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + text + L"\\InprocServer32");
    return key ? key->string(nullptr).value_or(L"") : L"";
}

std::wstring worded_load_behavior(const com_addin& entry) {
    if (entry.connected()) return entry.loads_at_startup() ? L"Load at Startup" : L"Loaded";
    if (entry.failed()) return L"Not loaded. A runtime error occurred during the loading of the COM Add-in.";
    return L"Unloaded";
}

}  // namespace

std::vector<addin_listing> addin_manager::listing() const {
    std::vector<addin_listing> result;
    for (const auto& entry : entries_) {
        // The dialog lists an add-in by the name its key gives for it.
        std::wstring name = entry->friendly_name();
        if (name.empty()) name = entry->description().empty() ? entry->prog_id() : entry->description();
        result.push_back({entry->prog_id(), name, server_location(entry->prog_id()), worded_load_behavior(*entry),
                          entry->connected()});
    }
    return result;
}

}  // namespace mailhost
