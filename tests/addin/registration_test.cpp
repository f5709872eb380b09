// regsvr32 of the built library in the test prefix: the COM class keys, the
// type library and, when Outlook is installed, the Outlook add-in key; a path
// with a blank registered by its short form; unregistration with Outlook
// running (attached to, left running) and not running (started, told to quit).
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <filesystem>
#include <string>
#include <vector>

#include "addin_test_support.h"
#include "com/unique_res.h"
#include "mailhost/simulated_outlook.h"

namespace {

using namespace addin_testing;
using Microsoft::WRL::ComPtr;

const std::wstring kOutlookServerKey = L"Software\\Classes\\CLSID\\{0006F03A-0000-0000-C000-000000000046}\\InprocServer32";

std::vector<std::wstring> class_keys() {
    auto lines = registry_tree(HKEY_CLASSES_ROOT, kClsidKey);
    for (auto& line : registry_tree(HKEY_CLASSES_ROOT, kProgId)) lines.push_back(line);
    return lines;
}

std::vector<std::wstring> expected_class_keys(const std::wstring& server_path) {
    const std::wstring c = kClsidKey;
    return {
        c,
        c + L"\\InprocServer32",
        c + L"\\InprocServer32|@=" + server_path,
        c + L"\\InprocServer32|ThreadingModel=Apartment",
        c + L"\\ProgID",
        c + L"\\ProgID|@=Korvex.korv",
        c + L"\\TypeLib",
        c + L"\\TypeLib|@={EA43248C-7FA5-4A39-85F5-2A99BDBEC4A2}",
        c + L"\\Version",
        c + L"\\Version|@=1.0",
        c + L"|@=korv Object",
        L"Korvex.korv",
        L"Korvex.korv\\Clsid",
        L"Korvex.korv\\Clsid|@={5F27362D-F894-4E66-BD26-E876A157B893}",
        L"Korvex.korv|@=korv Object",
    };
}

std::vector<std::wstring> expected_addin_key() {
    const std::wstring k = kAddInKey;
    return {k, k + L"|CommandLineSafe=#0", k + L"|Description=", k + L"|FriendlyName=DOD_Flinter",
            k + L"|LoadBehavior=#3"};
}

bool type_library_registered() {
    ComPtr<ITypeLib> library;
    return SUCCEEDED(::LoadRegTypeLib(kLibId, 1, 0, 0x409, &library));
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        remove_registration();
    }
    void TearDown() override {
        mailhost_unregister();
        remove_registration();
        ::CoUninitialize();
    }
    const std::wstring library_ = beside_this_test(L"QAV_Flinter.dll");
};

TEST_F(Registration, WritesTheClassKeysAndTheAddInKeyOnlyWhenOutlookIsInstalled) {
    for (const bool outlook_installed : {true, false}) {
        SCOPED_TRACE(outlook_installed ? "Outlook installed" : "no Outlook");
        ASSERT_EQ(S_OK, outlook_installed ? mailhost_register() : mailhost_unregister());
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE("registration " + std::to_string(round));
            ASSERT_EQ(0u, regsvr32(library_));
            EXPECT_EQ(expected_class_keys(library_), class_keys());
            EXPECT_TRUE(type_library_registered());
            const auto addin_key = registry_tree(HKEY_CURRENT_USER, kAddInKey);
            EXPECT_EQ(outlook_installed ? expected_addin_key() : std::vector<std::wstring>{}, addin_key);
        }
        ASSERT_EQ(0u, regsvr32(library_, true));
        EXPECT_EQ(std::vector<std::wstring>{}, class_keys());
        EXPECT_EQ(std::vector<std::wstring>{}, registry_tree(HKEY_CURRENT_USER, kAddInKey));
        EXPECT_FALSE(type_library_registered());
    }
}

TEST_F(Registration, APathWithABlankIsRegisteredInItsShortForm) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"flinter with blank";
    std::filesystem::create_directories(folder);
    const std::wstring copy = (folder / L"QAV_Flinter.dll").wstring();
    ASSERT_TRUE(::CopyFileW(library_.c_str(), copy.c_str(), FALSE));
    wchar_t short_path[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW(copy.c_str(), short_path, MAX_PATH));
    ASSERT_EQ(std::wstring::npos, std::wstring(short_path).find(L' ')) << short_path;

    ASSERT_EQ(0u, regsvr32(copy));
    EXPECT_EQ(expected_class_keys(short_path), class_keys());
    ComPtr<IUnknown> addin;
    EXPECT_EQ(S_OK, ::CoCreateInstance(kKorv, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&addin)))
        << "COM loads the library by its short path";
    addin.Reset();
    ASSERT_EQ(0u, regsvr32(copy, true));
    EXPECT_EQ(std::vector<std::wstring>{}, class_keys());

    ::CoUninitialize();   // lets the copy go
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// Outlook runs in this process and is found in the running-object table; its
// class is made unloadable, so that the unregistration can only succeed by
// attaching to the running instance.
TEST_F(Registration, UnregisteringAttachesToARunningOutlookAndLeavesItRunning) {
    ASSERT_EQ(S_OK, mailhost_register());
    ASSERT_EQ(0u, regsvr32(library_));
    mailhost::simulated_outlook outlook({.register_running = true});
    flinter::unique_hkey server;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOutlookServerKey.c_str(), 0, KEY_SET_VALUE, server.put()));
    const std::wstring nowhere = L"Z:\\no\\such\\outlook.dll";
    ::RegSetValueExW(server.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(nowhere.c_str()),
                     static_cast<DWORD>((nowhere.size() + 1) * sizeof(wchar_t)));
    mailhost_clear_call_log();

    EXPECT_EQ(0u, regsvr32(library_, true));
    EXPECT_EQ(std::vector<std::wstring>{}, class_keys());
    EXPECT_EQ(std::vector<std::wstring>{}, registry_tree(HKEY_CURRENT_USER, kAddInKey));
    EXPECT_TRUE(mailhost_running());
    EXPECT_EQ(std::wstring::npos, outlook.call_log().find(L"Quit")) << outlook.call_log();
}

TEST_F(Registration, UnregisteringStartsOutlookWhenItIsNotRunningAndTellsItToQuit) {
    ASSERT_EQ(S_OK, mailhost_register());
    ASSERT_EQ(0u, regsvr32(library_));
    const flinter::unique_hmodule addin(::LoadLibraryW(library_.c_str()));
    ASSERT_TRUE(addin);
    const auto unregister = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(::GetProcAddress(addin.get(), "DllUnregisterServer")));
    ASSERT_TRUE(unregister);
    mailhost_clear_call_log();

    EXPECT_EQ(S_OK, unregister());
    const std::wstring log = mailhost::simulated_outlook::call_log();
    EXPECT_NE(std::wstring::npos, log.find(L"Application.Quit")) << log;
    EXPECT_EQ(std::wstring::npos, log.find(L"addin Korvex.korv")) << "the add-in was switched off first\n" << log;
    EXPECT_FALSE(mailhost_running());
    EXPECT_EQ(std::vector<std::wstring>{}, class_keys());
}

}  // namespace
