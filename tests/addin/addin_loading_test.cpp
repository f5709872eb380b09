// The registered add-in loaded by the simulated Outlook through the registry,
// as Outlook loads it: start-up, the user switching it off and on, shut-down,
// every host reference given back and the library unloadable at the end.
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>
#include <addin.h>
#include <olectl.h>

#include <sstream>
#include <string>
#include <vector>

#include "addin_test_support.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "mailhost/simulated_outlook.h"

namespace {

using namespace addin_testing;
using Microsoft::WRL::ComPtr;
using mailhost::simulated_outlook;

std::vector<std::wstring> lines_of(const std::wstring& log) {
    std::vector<std::wstring> lines;
    std::wstringstream stream(log);
    for (std::wstring line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// The position of the first line equal to wanted at or after from; npos if none.
std::size_t find_line(const std::vector<std::wstring>& lines, const std::wstring& wanted, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i] == wanted) return i;
    return std::wstring::npos;
}

// The add-in's information window: it exists from start-up to disconnection.
HWND information_window() { return ::FindWindowW(nullptr, L"Message Information"); }

HRESULT can_unload_now() {
    const HMODULE addin = ::GetModuleHandleW(L"QAV_Flinter.dll");
    if (!addin) return S_OK;
    const auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(::GetProcAddress(addin, "DllCanUnloadNow")));
    return can_unload();
}

std::optional<std::wstring> start_mode() {
    const auto key = flinter::registry_key::open(HKEY_CURRENT_USER, kAddInKey);
    return key ? key->string(L"AFWStartMode") : std::nullopt;
}

class AddInLoading : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        remove_registration();
        ASSERT_EQ(S_OK, mailhost_register());
        ASSERT_EQ(0u, regsvr32(beside_this_test(L"QAV_Flinter.dll")));
        record_recent_update_check();
        mailhost_clear_call_log();
    }
    void TearDown() override {
        remove_registration();
        mailhost_unregister();
        ::CoUninitialize();
    }
};

TEST_F(AddInLoading, StartsWithOutlookAndStopsWithIt) {
    {
        simulated_outlook outlook({.explorers = 1, .addins = kProgId});
        const auto log = lines_of(outlook.call_log());
        const auto connected = find_line(log, L"addin Korvex.korv.OnConnection(1)");
        const auto complete = find_line(log, L"addin Korvex.korv.OnStartupComplete", connected);
        ASSERT_NE(std::wstring::npos, complete) << outlook.call_log();
        EXPECT_NE(std::wstring::npos, find_line(log, L"COMAddIn.Object=", connected));
        for (std::size_t i = connected; i < complete; ++i)
            EXPECT_FALSE(log[i].starts_with(L"Application.")) << "start-up waits for OnStartupComplete: " << log[i];
        EXPECT_NE(std::wstring::npos, find_line(log, L"Application.ActiveWindow", complete)) << "the owner window";
        EXPECT_EQ(L"NORMAL", start_mode()) << "written at the end of the first start";

        const HWND info = information_window();
        ASSERT_NE(nullptr, info);
        EXPECT_FALSE(::IsWindowVisible(info));
        EXPECT_EQ(mailhost_explorer_window(1), ::GetWindow(info, GW_OWNER));
        const auto entry = flinter::get_object(flinter::get_object(outlook.application(), L"COMAddIns").Get(), L"Item",
                                               {flinter::variant(kProgId)});
        EXPECT_NE(nullptr, flinter::get(entry.Get(), L"Object").as_dispatch());
        mailhost_clear_call_log();
    }
    const auto log = lines_of(simulated_outlook::call_log());
    EXPECT_NE(std::wstring::npos, find_line(log, L"addin Korvex.korv.OnDisconnection(0)",
                                            find_line(log, L"addin Korvex.korv.OnBeginShutdown")));
    EXPECT_EQ(nullptr, information_window());
    EXPECT_EQ(0, mailhost_outstanding_ref_count()) << simulated_outlook::outstanding_refs();
    EXPECT_EQ(0, mailhost_advised_sink_count()) << simulated_outlook::take(mailhost_advised_sinks());
    EXPECT_EQ(S_OK, can_unload_now());
}

TEST_F(AddInLoading, TheUserSwitchesItOffAndOnAgain) {
    simulated_outlook outlook({.explorers = 1, .addins = kProgId});
    for (const wchar_t* record : {L"\\CommandBars", L"\\Controls"})
        flinter::registry_key::create(HKEY_CURRENT_USER, std::wstring(kAddInKey) + record);
    mailhost_clear_call_log();

    ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, FALSE));
    EXPECT_NE(std::wstring::npos, find_line(lines_of(outlook.call_log()), L"addin Korvex.korv.OnDisconnection(1)"));
    EXPECT_FALSE(flinter::key_exists(HKEY_CURRENT_USER, std::wstring(kAddInKey) + L"\\CommandBars"));
    EXPECT_FALSE(flinter::key_exists(HKEY_CURRENT_USER, std::wstring(kAddInKey) + L"\\Controls"));
    EXPECT_EQ(nullptr, information_window());
    EXPECT_EQ(1, mailhost_outstanding_ref_count()) << "only this test's own reference to Application is left\n"
                                                   << simulated_outlook::outstanding_refs();
    EXPECT_EQ(0, mailhost_advised_sink_count()) << simulated_outlook::take(mailhost_advised_sinks());
    EXPECT_EQ(S_OK, can_unload_now());

    mailhost_clear_call_log();
    ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, TRUE));
    const auto log = lines_of(outlook.call_log());
    const auto connected = find_line(log, L"addin Korvex.korv.OnConnection(0)");
    ASSERT_NE(std::wstring::npos, connected) << outlook.call_log();
    EXPECT_NE(std::wstring::npos, find_line(log, L"Application.ActiveWindow", connected))
        << "connected after Outlook started, the add-in starts inside OnConnection";
    EXPECT_EQ(std::wstring::npos, find_line(log, L"addin Korvex.korv.OnStartupComplete"));
    EXPECT_NE(nullptr, information_window());
}

// A sink whose unadvise Outlook refused stays with Outlook after the add-in
// object has gone; its code must stay loaded until Outlook lets it go.
TEST_F(AddInLoading, ASinkOutlookKeepsHoldsTheLibraryUntilOutlookLetsItGo) {
    simulated_outlook outlook({.explorers = 1, .addins = kProgId});
    ASSERT_EQ(S_OK, mailhost_fail(L"Application", L"Unadvise", CONNECT_E_NOCONNECTION, 1000));
    ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, FALSE));   // Outlook lets the add-in object go
    mailhost_clear_faults();
    ASSERT_EQ(1, mailhost_advised_sink_count()) << simulated_outlook::advised_sinks();
    EXPECT_EQ(S_FALSE, can_unload_now());
    ::CoFreeUnusedLibraries();
    ASSERT_NE(nullptr, ::GetModuleHandleW(L"QAV_Flinter.dll")) << "unloaded under the sink Outlook holds";

    outlook.quit();   // Outlook releases the sink
    EXPECT_EQ(S_OK, can_unload_now());
    ::CoFreeUnusedLibraries();
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"QAV_Flinter.dll")) << "nothing else keeps it";
}

TEST_F(AddInLoading, ConnectsWithoutTheHostsAddInEntry) {
    simulated_outlook outlook({.explorers = 1});
    ComPtr<IDTExtensibility2> addin;
    ASSERT_EQ(S_OK, ::CoCreateInstance(kKorv, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&addin)));
    flinter::unique_safearray custom(::SafeArrayCreateVector(VT_VARIANT, 0, 0));
    SAFEARRAY* array = custom.get();
    EXPECT_EQ(S_OK, addin->OnConnection(outlook.application(), ext_cm_AfterStartup, nullptr, &array));
    EXPECT_NE(nullptr, information_window());
    EXPECT_EQ(S_OK, addin->OnDisconnection(ext_dm_HostShutdown, &array));
    EXPECT_EQ(nullptr, information_window());
    addin.Reset();
    EXPECT_EQ(S_OK, can_unload_now());
}

}  // namespace
