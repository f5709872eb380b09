// Outlook's add-in loading from the registry: a trivial add-in registered in
// the prefix is created by ProgID and called in Outlook's order.
#include <gtest/gtest.h>

#include <string>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;

namespace {

// Wine's CLSIDFromProgID does not look under HKCU\Software\Classes; HKLM's classes
// have one view per bitness, and each flavour registers its own class there too.
const wchar_t kProgId[] = L"MailhostTest.TrivialAddin." FLINTER_FLAVOUR;
const wchar_t kClsid[] = TRIVIAL_ADDIN_CLSID;

void set_text(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    flinter::registry_key::create(root, key, KEY_WRITE).set_string(name, value);
}

void set_dword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
    flinter::registry_key::create(root, key, KEY_WRITE).set_dword(name, value);
}

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
        set_text(HKEY_LOCAL_MACHINE, clsid_key + L"\\InprocServer32", nullptr, path);
        set_text(HKEY_LOCAL_MACHINE, clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        set_text(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId + L"\\CLSID", nullptr, kClsid);
        set_dword(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior", 3);
        set_text(HKEY_CURRENT_USER, kAddInKey, L"FriendlyName", L"Trivial add-in");
        events_ = reinterpret_cast<const wchar_t* (*)()>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "trivial_addin_events")));
        reinterpret_cast<void (*)()>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "trivial_addin_reset")))();
    }
    void TearDown() override {
        simulated_outlook_test::TearDown();
        flinter::delete_key_tree(HKEY_CURRENT_USER, kAddInKey);
        flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\CLSID\\") + kClsid);
        flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId);
    }
    std::wstring events() const { return events_(); }
    flinter::unique_hmodule module_;
    const wchar_t* (*events_)() = nullptr;
};

TEST_F(AddInLoading, StartupAndShutdownInOutlooksOrder) {
    start({.addins = kProgId});
    EXPECT_EQ(L"OnConnection(1,outlook,comaddin);OnStartupComplete;", events()) << outlook().call_log();
    {
        auto addin = get_object(get_object(application(), L"COMAddIns").Get(), L"Item", {variant(kProgId)});
        EXPECT_TRUE(get(addin.Get(), L"Connect").as_bool());
        EXPECT_NE(nullptr, get(addin.Get(), L"Object").as_dispatch());
    }
    outlook().quit();
    EXPECT_EQ(L"OnConnection(1,outlook,comaddin);OnStartupComplete;OnBeginShutdown;OnDisconnection(0);", events());
    EXPECT_EQ(0, reinterpret_cast<long (*)()>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "trivial_addin_objects")))());
}

TEST_F(AddInLoading, TheUserSwitchesTheAddInOffAndOn) {
    start({.addins = kProgId});
    ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, FALSE));
    auto addin = get_object(get_object(application(), L"COMAddIns").Get(), L"Item", {variant(1)});
    EXPECT_FALSE(get(addin.Get(), L"Connect").as_bool());
    put(addin.Get(), L"Connect", variant(true));
    EXPECT_EQ(L"OnConnection(1,outlook,comaddin);OnStartupComplete;OnDisconnection(1);OnConnection(0,outlook,comaddin);",
              events());
}

TEST_F(AddInLoading, OnlyLoadBehaviorThreeLoadsAtStart) {
    set_dword(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior", 2);
    start({.addins = kProgId});
    EXPECT_EQ(L"", events());
    EXPECT_EQ(1, get(get_object(application(), L"COMAddIns").Get(), L"Count").as_int());
}

TEST_F(AddInLoading, AnUnknownProgIdIsSkipped) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + kProgId).c_str());
    start({.addins = kProgId});
    EXPECT_EQ(L"", events());
    EXPECT_NE(std::wstring::npos, outlook().call_log().find(L"failed"));
}

}  // namespace
