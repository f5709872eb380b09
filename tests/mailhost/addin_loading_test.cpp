// Outlook's add-in loading from the registry: a trivial add-in registered in
// the prefix is created by ProgID and called in Office's order; LoadBehavior
// follows failures and the COM Add-ins dialog; Outlook started through COM.
#include <gtest/gtest.h>

#include <string>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "outlook_ids.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using Microsoft::WRL::ComPtr;

namespace {

// Wine's CLSIDFromProgID does not look under HKCU\Software\Classes; HKLM's classes
// have one view per bitness, and each flavour registers its own class there too.
const wchar_t kProgId[] = L"MailhostTest.TrivialAddin." FLINTER_FLAVOUR;
const wchar_t kClsid[] = TRIVIAL_ADDIN_CLSID;
const std::wstring kAddInKey = std::wstring(L"Software\\Microsoft\\Office\\Outlook\\AddIns\\") + kProgId;

class AddInLoading : public flinter::testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        module_.reset(::LoadLibraryW(L"trivial_addin.dll"));
        ASSERT_TRUE(module_);
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(module_.get(), path, MAX_PATH);
        const std::wstring clsid_key = std::wstring(L"Software\\Classes\\CLSID\\") + kClsid;
        auto server = flinter::registry_key::create(HKEY_LOCAL_MACHINE, clsid_key + L"\\InprocServer32");
        server.set_string(nullptr, path);
        server.set_string(L"ThreadingModel", L"Apartment");
        flinter::registry_key::create(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId + L"\\CLSID")
            .set_string(nullptr, kClsid);
        register_addin(HKEY_CURRENT_USER, 3);
        export_of<void (*)()>("trivial_addin_reset")();
    }
    void TearDown() override {
        simulated_outlook_test::TearDown();
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) flinter::delete_key_tree(root, kAddInKey);
        flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\CLSID\\") + kClsid);
        flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId);
    }

    static void register_addin(HKEY root, DWORD load_behavior) {
        auto key = flinter::registry_key::create(root, kAddInKey);
        key.set_dword(L"LoadBehavior", load_behavior);
        key.set_string(L"FriendlyName", L"Trivial add-in");
    }
    static DWORD load_behavior(HKEY root) {
        return flinter::registry_key::open(root, kAddInKey)->dword(L"LoadBehavior").value_or(0xdeadbeef);
    }
    template <class Function>
    Function export_of(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    }
    std::wstring events() const { return export_of<const wchar_t* (*)()>("trivial_addin_events")(); }
    long addin_objects() const { return export_of<long (*)()>("trivial_addin_objects")(); }
    ComPtr<IDispatch> com_addin() {
        return get_object(get_object(application(), L"COMAddIns").Get(), L"Item", {variant(kProgId)});
    }

    flinter::unique_hmodule module_;
};

TEST_F(AddInLoading, StartupAndShutdownInOfficesOrder) {
    start({.addins = kProgId});
    EXPECT_EQ(L"OnConnection(1,outlook,comaddin);OnAddInsUpdate;OnStartupComplete;", events()) << outlook().call_log();
    EXPECT_TRUE(get(com_addin().Get(), L"Connect").as_bool());
    EXPECT_NE(nullptr, get(com_addin().Get(), L"Object").as_dispatch());
    outlook().quit();
    EXPECT_EQ(L"OnConnection(1,outlook,comaddin);OnAddInsUpdate;OnStartupComplete;OnBeginShutdown;OnDisconnection(0);",
              events());
    EXPECT_EQ(0, addin_objects());
    EXPECT_EQ(3u, load_behavior(HKEY_CURRENT_USER));
}

TEST_F(AddInLoading, TheUserSwitchesTheAddInOffAndOnAndLoadBehaviorFollows) {
    start({.addins = kProgId});
    export_of<void (*)()>("trivial_addin_reset")();
    ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, FALSE));
    EXPECT_FALSE(get(com_addin().Get(), L"Connect").as_bool());
    EXPECT_EQ(2u, load_behavior(HKEY_CURRENT_USER));
    put(com_addin().Get(), L"Connect", variant(true));
    EXPECT_EQ(L"OnDisconnection(1);OnConnection(0,outlook,comaddin);OnAddInsUpdate;", events());
    EXPECT_EQ(3u, load_behavior(HKEY_CURRENT_USER));
}

// The dialog applies what the user changed when OK is pressed, and nothing on Cancel.
TEST_F(AddInLoading, TheComAddInsDialogSwitchesTheAddInOffAndOnWithItsCheckBox) {
    start({.addins = kProgId});
    export_of<void (*)()>("trivial_addin_reset")();
    // Toggles the add-in's check box and closes the dialog with button; whether the box was checked.
    const auto toggle_and_press = [](const wchar_t* button) {
        HWND dialog = nullptr;
        EXPECT_EQ(S_OK, mailhost_open_addins_dialog(1, &dialog));
        EXPECT_FALSE(::IsWindowEnabled(mailhost_explorer_window(1)));
        HWND box = ::FindWindowExW(dialog, nullptr, L"Button", L"Trivial add-in");
        const bool was_checked = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        ::SendMessageW(box, BM_CLICK, 0, 0);
        ::SendMessageW(::FindWindowExW(dialog, nullptr, L"Button", button), BM_CLICK, 0, 0);
        EXPECT_FALSE(::IsWindow(dialog));
        EXPECT_TRUE(::IsWindowEnabled(mailhost_explorer_window(1)));
        return was_checked;
    };
    EXPECT_TRUE(toggle_and_press(L"Cancel"));
    EXPECT_EQ(L"", events());
    EXPECT_TRUE(toggle_and_press(L"OK"));
    EXPECT_EQ(L"OnDisconnection(1);", events());
    EXPECT_EQ(2u, load_behavior(HKEY_CURRENT_USER));
    EXPECT_FALSE(toggle_and_press(L"OK"));
    EXPECT_EQ(L"OnDisconnection(1);OnConnection(0,outlook,comaddin);OnAddInsUpdate;", events());
    EXPECT_EQ(3u, load_behavior(HKEY_CURRENT_USER));
}

// Registered for the user or for all users, an add-in whose OnConnection fails
// is not connected, keeps no Object and gets no further call.
TEST_F(AddInLoading, AFailedConnectionLeavesLoadBehaviorTwoWhereTheAddInIsRegistered) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (HKEY other : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) flinter::delete_key_tree(other, kAddInKey);
        register_addin(root, 3);
        export_of<void (*)()>("trivial_addin_reset")();
        export_of<void (*)(HRESULT)>("trivial_addin_fail_connection")(E_FAIL);
        start({.addins = kProgId});
        EXPECT_EQ(L"OnConnection(1,outlook,comaddin);", events());
        EXPECT_EQ(2u, load_behavior(root));
        EXPECT_FALSE(get(com_addin().Get(), L"Connect").as_bool());
        EXPECT_EQ(nullptr, get(com_addin().Get(), L"Object").as_dispatch());
        outlook().quit();
        EXPECT_EQ(L"OnConnection(1,outlook,comaddin);", events());
        EXPECT_EQ(0, addin_objects());
    }
}

TEST_F(AddInLoading, OnlyLoadBehaviorThreeLoadsAtStart) {
    register_addin(HKEY_CURRENT_USER, 2);
    start({.addins = kProgId});
    EXPECT_EQ(L"", events());
    EXPECT_EQ(1, get(get_object(application(), L"COMAddIns").Get(), L"Count").as_int());
}

TEST_F(AddInLoading, AnUnknownProgIdIsSkipped) {
    flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId);
    start({.addins = kProgId});
    EXPECT_EQ(L"", events());
    EXPECT_NE(std::wstring::npos, outlook().call_log().find(L"failed"));
}

TEST_F(AddInLoading, OutlookStartedThroughComOpensNoWindowLoadsItsAddInsAndIsRunning) {
    ASSERT_EQ(S_OK, mailhost_register());
    const GUID& clsid = flinter::testing_support::outlook::CLSID_Application;
    ComPtr<IDispatch> app;
    ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&app)));
    EXPECT_EQ(0, get(get_object(app.Get(), L"Explorers").Get(), L"Count").as_int());
    EXPECT_EQ(nullptr, get(app.Get(), L"ActiveExplorer").as_dispatch());
    EXPECT_EQ(L"OnConnection(1,outlook,comaddin);OnAddInsUpdate;OnStartupComplete;", events());
    ComPtr<IUnknown> running;
    ASSERT_EQ(S_OK, ::GetActiveObject(clsid, nullptr, &running));
    ComPtr<IUnknown> identity;
    app.As(&identity);
    EXPECT_EQ(identity.Get(), running.Get());
    running.Reset();
    identity.Reset();
    flinter::call(app.Get(), L"Quit");
    EXPECT_NE(S_OK, ::GetActiveObject(clsid, nullptr, &running));
}

}  // namespace
