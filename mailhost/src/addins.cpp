#include "addins.h"

#include <addin.h>

#include "com/hresult_error.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "ids.h"
#include "model.h"

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

class com_addin : public host_object {
public:
    com_addin(application& app, std::wstring prog_id, std::wstring description, DWORD load_behavior)
        : host_object(L"COMAddIn", {ids::IID_COMAddIn}), app_(app), prog_id_(std::move(prog_id)),
          description_(std::move(description)), load_behavior_(load_behavior) {
        property(L"ProgId", [this](const call_args&) { return flinter::variant(prog_id_); });
        property(L"Description", [this](const call_args&) { return flinter::variant(description_); },
                 [this](const call_args& a) { description_ = flinter::variant(a.value()).as_wstring(); });
        property(L"Guid", [this](const call_args&) {
            CLSID clsid{};
            wchar_t text[64] = {};
            if (SUCCEEDED(::CLSIDFromProgID(prog_id_.c_str(), &clsid))) ::StringFromGUID2(clsid, text, 64);
            return flinter::variant(text);
        });
        property(L"Connect", [this](const call_args&) { return flinter::variant(connected()); },
                 [this](const call_args& a) { set_connected(flinter::variant(a.value()).as_bool()); });
        property(L"Object", [this](const call_args&) {
            return object_.Get() ? flinter::variant(object_.Get()) : flinter::variant(static_cast<IDispatch*>(nullptr));
        }, [this](const call_args& a) { object_ = flinter::variant(a.value()).as_dispatch(); });
        property(L"Application", [this](const call_args&) { return app_.as_variant(); });
    }

    const std::wstring& prog_id() const { return prog_id_; }
    DWORD load_behavior() const { return load_behavior_; }
    bool connected() const { return addin_ != nullptr; }

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
            flinter::check(addin->OnConnection(app_.dispatch().Get(), mode, dispatch().Get(), &array));
            addin_ = addin;
            return true;
        } catch (const std::exception& e) {
            log_call(who + L" failed: " + flinter::widen(e.what()));
            return false;
        }
    }

    void call(const wchar_t* what, HRESULT (STDMETHODCALLTYPE IDTExtensibility2::*operation)(SAFEARRAY**)) {
        if (!addin_) return;
        log_call(L"addin " + prog_id_ + L"." + what);
        auto custom = empty_custom();
        SAFEARRAY* array = custom.get();
        ((*addin_.Get()).*operation)(&array);
    }

    void disconnect(ext_DisconnectMode mode) {
        if (!addin_) return;
        ComPtr<IDTExtensibility2> addin = std::move(addin_);
        log_call(L"addin " + prog_id_ + L".OnDisconnection(" + std::to_wstring(mode) + L")");
        auto custom = empty_custom();
        SAFEARRAY* array = custom.get();
        addin->OnDisconnection(mode, &array);
        object_.Reset();
    }

    void set_connected(bool connect_it) {
        if (connect_it) connect(ext_cm_AfterStartup);
        else disconnect(ext_dm_UserClosed);
    }

private:
    application& app_;
    std::wstring prog_id_, description_;
    DWORD load_behavior_;
    ComPtr<IDTExtensibility2> addin_;
    ComPtr<IDispatch> object_;
};

namespace {

class com_addins : public host_object {
public:
    explicit com_addins(addin_manager& manager) : host_object(L"COMAddIns", {ids::IID_COMAddIns}), manager_(manager) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(manager_.entries().size())); });
        property(L"Item", [this](const call_args& a) {
            auto& list = manager_.entries();
            if (a.is_text(0)) {
                for (auto& entry : list)
                    if (::_wcsicmp(entry->prog_id().c_str(), a.text(0).c_str()) == 0) return entry->as_variant();
                fail(E_INVALIDARG, L"The add-in is not registered.");
            }
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(list.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return list[at - 1]->as_variant();
        });
        method(L"Update", [](const call_args&) { return flinter::variant(); });
    }

private:
    addin_manager& manager_;
};

}  // namespace

addin_manager::addin_manager(application& app) : app_(app) { collection_ = make<com_addins>(*this); }

addin_manager::~addin_manager() = default;

void addin_manager::read_registry() {
    const auto& options = app_.options();
    if (!options.load_all_addins && options.addins.empty()) return;
    const auto root = flinter::registry_key::open(HKEY_CURRENT_USER, kAddInsKey);
    if (!root) return;
    for (const auto& name : root->subkeys()) {
        bool wanted = options.load_all_addins;
        for (const auto& id : options.addins) wanted = wanted || ::_wcsicmp(id.c_str(), name.c_str()) == 0;
        if (!wanted) continue;
        const auto key = flinter::registry_key::open(root->get(), name);
        if (!key) continue;
        std::wstring description = key->string(L"Description").value_or(L"");
        if (description.empty()) description = key->string(L"FriendlyName").value_or(L"");
        entries_.push_back(make<com_addin>(app_, name, description, key->dword(L"LoadBehavior").value_or(0)));
    }
}

void addin_manager::startup() {
    read_registry();
    std::vector<std::shared_ptr<com_addin>> started;
    for (auto& entry : entries_)
        if ((entry->load_behavior() & 3) == 3 && entry->connect(ext_cm_Startup)) started.push_back(entry);
    app_.fire(ids::DIID_ApplicationEvents, ids::kStartup, {});
    for (auto& entry : started) entry->call(L"OnStartupComplete", &IDTExtensibility2::OnStartupComplete);
}

void addin_manager::shutdown() {
    for (auto& entry : entries_) entry->call(L"OnBeginShutdown", &IDTExtensibility2::OnBeginShutdown);
    for (auto& entry : entries_) entry->disconnect(ext_dm_HostShutdown);
}

void addin_manager::set_connected(const std::wstring& prog_id, bool connect) {
    for (auto& entry : entries_)
        if (::_wcsicmp(entry->prog_id().c_str(), prog_id.c_str()) == 0) return entry->set_connected(connect);
    fail(E_INVALIDARG, L"The add-in is not registered.");
}

flinter::variant addin_manager::collection_variant() { return collection_->as_variant(); }

}  // namespace mailhost
