// The add-in framework with a module of the test's own: the start-up
// sequence and its events, the start mode, the module error report,
// disconnection, error information at the COM boundary, the factory's error
// box, the type-information checks, the stored definition's rules and the
// running-host dialog. The add-in object connects to the simulated Outlook.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <addin.h>

#include <string>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "addin/registration.h"
#include "addin/type_information.h"
#include "addin_test_support.h"
#include "com/class_factory.h"
#include "com/hresult_error.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "commandbars/command_bar.h"
#include "commands/addin_module.h"
#include "dll/korvex_library.h"
#include "debugger_output.h"
#include "framework/framework_error.h"
#include "http_test_support.h"
#include "loopback_server.h"
#include "mailhost/simulated_outlook.h"
#include "net/http_client.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;
using namespace addin_testing;


std::vector<std::string> events;
bool fail_startup_complete = false;
std::wstring seen_while_unregistering;   // the add-in key's values, as OnBeforeAddinUnregister found them

constexpr char kRecorder[] = R"(
object Recorder: TRecordingModule
  AddInName = "Recorder"
  SupportedApps = [ohaOutlook]
  OnAddInInitialize = recordInitialize
  OnAddInStartupComplete = recordStartupComplete
  OnAddInBeginShutdown = recordBeginShutdown
  OnAddInFinalize = recordFinalize
  OnDestroy = recordDestroy
end
)";

// Records the module events it receives, in order.
class recording_module final : public TafwCOMAddInModule {
public:
    explicit recording_module(const char* definition = kRecorder) : TafwCOMAddInModule("Recorder", "TRecordingModule") {
        handler_table handlers;
        for (const char* event : {"Initialize", "StartupComplete", "BeginShutdown", "Finalize", "Destroy"}) {
            handlers.add(std::string("record") + event, [event](component& sender) {
                events.push_back(event);
                EXPECT_EQ("Recorder", sender.name());
                if (events.back() == "StartupComplete" && fail_startup_complete)
                    throw hresult_error(E_FAIL, "the windows could not be made");
            });
        }
        handlers.add("recordUnregister", [this](component&) {
            const registry_key* key = Registry();
            seen_while_unregistering = key->string(L"AFWStartMode").value_or(L"-") + L" " +
                                       std::to_wstring(key->dword(L"LoadBehavior").value_or(99));
        });
        load(definition::read_definition(definition), handlers);
    }
};

addin_class recorder_class() {
    return {"TRecorder", addin_testing::kKorv, {kIkorv}, &create_addin_object<TafwAddin>,
            [] { return module_ptr(new recording_module()); }};
}

std::optional<std::wstring> stored_start_mode() {
    const auto key = registry_key::open(HKEY_CURRENT_USER, kAddInKey);
    return key ? key->string(L"AFWStartMode") : std::nullopt;
}

class Framework : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kAddInKey);
        events.clear();
        fail_startup_complete = false;
        library_dialogs().module_error_box = [this](HWND owner, const std::wstring& caption,
                                                       const std::wstring& text) {
            boxes.push_back(caption + L"|" + text);
            box_owners.push_back(owner);
        };
        library_dialogs().dax_error_box = [this](const std::wstring& text) { boxes.push_back(L"DAX|" + text); };
    }
    void TearDown() override {
        outlook.reset();
        library_dialogs() = default_user_dialogs();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kAddInKey);
        ::CoUninitialize();
    }

    // A new add-in object of the recorder's factory.
    ComPtr<IDTExtensibility2> create() {
        ComPtr<IDTExtensibility2> addin;
        EXPECT_EQ(S_OK, factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        return addin;
    }
    static TafwCOMAddInModule* module_of(IDTExtensibility2* addin) { return static_cast<TafwAddin*>(addin)->Module(); }
    IDispatch* host() {
        if (!outlook) outlook = std::make_unique<mailhost::simulated_outlook>(mailhost::outlook_settings{.explorers = 1});
        return outlook->application();
    }

    unique_safearray custom_{::SafeArrayCreateVector(VT_VARIANT, 0, 0)};
    SAFEARRAY* custom = custom_.get();
    TComServer server{this_module_file_name()};
    TafwFactory factory{server, recorder_class()};
    std::unique_ptr<mailhost::simulated_outlook> outlook;
    std::vector<std::wstring> boxes;
    std::vector<HWND> box_owners;
};

TEST_F(Framework, StartUpRunsWhenTheHostHasStartedAndOnlyOnce) {
    for (const auto mode : {ext_cm_Startup, ext_cm_AfterStartup}) {
        SCOPED_TRACE(mode == ext_cm_Startup ? "connected at the host's start" : "connected later");
        events.clear();
        const auto addin = create();
        ASSERT_EQ(S_OK, addin->OnConnection(host(), mode, nullptr, &custom));
        const std::vector<std::string> started = {"Initialize", "StartupComplete"};
        EXPECT_EQ(mode == ext_cm_Startup ? std::vector<std::string>{} : started, events);
        ASSERT_EQ(S_OK, addin->OnStartupComplete(&custom));
        EXPECT_EQ(started, events);
        EXPECT_EQ(ohaOutlook, module_of(addin.Get())->HostKind());
        EXPECT_NE(nullptr, module_of(addin.Get())->Registry());
        EXPECT_NE(nullptr, module_of(addin.Get())->command_bars()) << "the active explorer's";
        EXPECT_EQ(nullptr, module_of(addin.Get())->COMAddIn());

        ASSERT_EQ(S_OK, addin->OnBeginShutdown(&custom));
        ASSERT_EQ(S_OK, addin->OnDisconnection(ext_dm_HostShutdown, &custom));
        EXPECT_EQ((std::vector<std::string>{"Initialize", "StartupComplete", "BeginShutdown", "Finalize", "Destroy"}),
                  events);
        EXPECT_EQ(nullptr, module_of(addin.Get()));
    }
    EXPECT_EQ(std::vector<std::wstring>{}, boxes);
}

TEST_F(Framework, TheStartModeIsReadAtStartAndNormalWrittenOnlyAtTheFirst) {
    struct start_case {
        const wchar_t* stored;   // null: no value
        start_mode mode;
        const wchar_t* afterwards;
    };
    const start_case cases[] = {
        {nullptr, start_mode::first_start, L"NORMAL"},
        {L"FirstStart", start_mode::first_start, L"NORMAL"},
        {L"normal", start_mode::normal, L"normal"},
        {L"UNINSTALL", start_mode::uninstall, L"UNINSTALL"},
        {L"later", start_mode::unknown, L"later"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : L"no value");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kAddInKey);
        if (c.stored) registry_key::create(HKEY_CURRENT_USER, kAddInKey).set_string(L"AFWStartMode", c.stored);
        const auto addin = create();
        ASSERT_EQ(S_OK, addin->OnConnection(host(), ext_cm_AfterStartup, nullptr, &custom));
        EXPECT_EQ(c.mode, module_of(addin.Get())->StartMode());
        EXPECT_EQ(c.afterwards, stored_start_mode());
        addin->OnDisconnection(ext_dm_HostShutdown, &custom);
    }
}

TEST_F(Framework, AFailingHandlerGoesToTheErrorReportAndStartUpCompletes) {
    fail_startup_complete = true;
    const auto addin = create();
    ASSERT_EQ(S_OK, addin->OnConnection(host(), ext_cm_Startup, nullptr, &custom));
    EXPECT_EQ(S_OK, addin->OnStartupComplete(&custom));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].starts_with(L"Recorder|Recorder error: the add-in has fired an exception.\r\n"
                                     L"the windows could not be made"))
        << boxes[0];
    EXPECT_EQ(mailhost_explorer_window(1), box_owners.at(0)) << "owned by the explorer in front";
    EXPECT_EQ(L"NORMAL", stored_start_mode()) << "start-up went on to its end";
    addin->OnDisconnection(ext_dm_HostShutdown, &custom);

    // A module that handles its failures itself shows no box.
    boxes.clear();
    const auto handled = create();
    ASSERT_EQ(S_OK, handled->OnConnection(host(), ext_cm_Startup, nullptr, &custom));
    std::string seen;
    module_of(handled.Get())->OnError = [&](component&, const std::exception& failure, bool& is_handled) {
        seen = failure.what();
        is_handled = true;
    };
    EXPECT_EQ(S_OK, handled->OnStartupComplete(&custom));
    EXPECT_TRUE(seen.starts_with("the windows could not be made")) << seen;
    EXPECT_EQ(std::vector<std::wstring>{}, boxes);
    handled->OnDisconnection(ext_dm_HostShutdown, &custom);
}

TEST_F(Framework, OnlyTheUsersDisconnectionRemovesTheToolbarRecords) {
    for (const auto mode : {ext_dm_HostShutdown, ext_dm_UserClosed}) {
        SCOPED_TRACE(mode == ext_dm_HostShutdown ? "host shut-down" : "switched off by the user");
        events.clear();
        const auto addin = create();
        ASSERT_EQ(S_OK, addin->OnConnection(host(), ext_cm_AfterStartup, nullptr, &custom));
        for (const wchar_t* record : {L"\\CommandBars", L"\\Controls"})
            registry_key::create(HKEY_CURRENT_USER, std::wstring(kAddInKey) + record);
        events.clear();
        ASSERT_EQ(S_OK, addin->OnDisconnection(mode, &custom));
        const bool kept = mode == ext_dm_HostShutdown;
        const std::vector<std::string> expected =
            kept ? std::vector<std::string>{"Finalize", "Destroy"}
                 : std::vector<std::string>{"BeginShutdown", "Finalize", "Destroy"};
        EXPECT_EQ(expected, events);
        EXPECT_EQ(kept, key_exists(HKEY_CURRENT_USER, std::wstring(kAddInKey) + L"\\CommandBars"));
        EXPECT_EQ(kept, key_exists(HKEY_CURRENT_USER, std::wstring(kAddInKey) + L"\\Controls"));
    }
}

TEST_F(Framework, AFailureLeavesTheObjectAsAnHResultWithErrorInformation) {
    struct failure_case {
        std::function<void()> fail;
        HRESULT expected;
        const wchar_t* description;
    };
    const failure_case cases[] = {
        {[] { throw hresult_error(E_ACCESSDENIED, "the module could not be read"); }, E_ACCESSDENIED,
         L"the module could not be read"},
        {[] { throw std::runtime_error("no module today"); }, E_UNEXPECTED, L"no module today"},
        {[] { throw framework_error("The AddInName property can not be empty."); }, E_UNEXPECTED,
         L"The AddInName property can not be empty."},
    };
    for (const auto& c : cases) {
        addin_class failing = recorder_class();
        failing.create_module = [&]() -> module_ptr { c.fail(); return nullptr; };
        TafwFactory failing_factory(server, failing);
        ComPtr<IDTExtensibility2> addin;
        ASSERT_EQ(S_OK, failing_factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        EXPECT_EQ(c.expected, addin->OnConnection(host(), ext_cm_Startup, nullptr, &custom));
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(S_OK, ::GetErrorInfo(0, &info));
        GUID guid{};
        BSTR source = nullptr, description = nullptr;
        info->GetGUID(&guid);
        info->GetSource(&source);
        info->GetDescription(&description);
        const unique_bstr owned_source(source), owned_description(description);
        EXPECT_TRUE(IsEqualGUID(kIkorv, guid));
        EXPECT_STREQ(L"Korvex.korv", source);
        EXPECT_TRUE(std::wstring(description).starts_with(c.description)) << description;
    }
}

// A class whose creation the framework refuses, with the code of the refusal under test.
HRESULT refusal_code = 0;
class refused_object : public com_object<refused_object, IDispatch> {
public:
    refused_object() { throw framework_error("The registration process has been canceled.", refusal_code); }
    STDMETHODIMP GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
        return E_NOTIMPL;
    }
};

// A boundary with no result of its own (a class factory's) answers a
// framework error with the error's code, and with its own fallback when the
// error carries none.
TEST(FrameworkError, IsAnsweredWithItsOwnCodeAtABoundary) {
    for (const auto& [code, expected] : {std::pair{E_ACCESSDENIED, E_ACCESSDENIED}, std::pair{HRESULT{0}, E_FAIL}}) {
        refusal_code = code;
        const auto factory = make_com<class_factory<refused_object>>();
        ComPtr<IDispatch> object;
        EXPECT_EQ(expected, factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
        EXPECT_EQ(nullptr, object.Get());
    }
}

TEST_F(Framework, TheFactoryShowsACreationFailureInTheDaxErrorBox) {
    struct box_case {
        const char* message;
        const wchar_t* shown;
    };
    const box_case cases[] = {
        {"no room for the add-in", L"DAX|no room for the add-in."},
        {"no room for the add-in.", L"DAX|no room for the add-in."},
        {"no room (none)", L"DAX|no room (none)"},   // ')' sorts before '.'
    };
    for (const auto& c : cases) {
        addin_class failing = recorder_class();
        failing.create = [&](TafwFactory&, IUnknown*) -> ComPtr<IUnknown> { throw std::runtime_error(c.message); };
        TafwFactory failing_factory(server, failing);
        boxes.clear();
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(E_UNEXPECTED, failing_factory.CreateInstance(nullptr, IID_IUnknown, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(std::vector<std::wstring>{c.shown}, boxes);
    }
}

[[noreturn]] void read_the_module() { throw hresult_error(E_ACCESSDENIED, "the module could not be read"); }

// A failure reaches the user as its message alone, in each place the
// framework shows one; its code and where it was raised go to the debugger.
TEST_F(Framework, TheUserSeesAFailuresMessageAndTheDebuggerItsCodeAndPlace) {
    struct place_case {
        const char* where_shown;
        std::function<std::wstring()> fail;   // returns what the user is shown
        const wchar_t* shown;
        const char* code;
        const char* raised_in;
    };
    const place_case cases[] = {
        {"the module error report",
         [&] {
             fail_startup_complete = true;
             const auto addin = create();
             addin->OnConnection(host(), ext_cm_Startup, nullptr, &custom);
             addin->OnStartupComplete(&custom);
             addin->OnDisconnection(ext_dm_HostShutdown, &custom);
             return boxes.empty() ? std::wstring() : boxes.front();
         },
         L"Recorder|Recorder error: the add-in has fired an exception.\r\nthe windows could not be made", "0x80004005",
         "recording_module"},
        {"the error information at the COM boundary",
         [&] {
             addin_class failing = recorder_class();
             failing.create_module = []() -> module_ptr { read_the_module(); };
             TafwFactory failing_factory(server, failing);
             ComPtr<IDTExtensibility2> addin;
             failing_factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin));
             addin->OnConnection(host(), ext_cm_Startup, nullptr, &custom);
             ComPtr<IErrorInfo> info;
             BSTR description = nullptr;
             if (::GetErrorInfo(0, &info) == S_OK) info->GetDescription(&description);
             const unique_bstr owned(description);
             return std::wstring(description ? description : L"");
         },
         L"the module could not be read", "0x80070005", "read_the_module"},
        {"the \"DAX Error\" box",
         [&] {
             addin_class failing = recorder_class();
             failing.create = [](TafwFactory&, IUnknown*) -> ComPtr<IUnknown> { read_the_module(); };
             TafwFactory failing_factory(server, failing);
             void* out = nullptr;
             failing_factory.CreateInstance(nullptr, IID_IUnknown, &out);
             return boxes.empty() ? std::wstring() : boxes.front();
         },
         L"DAX|the module could not be read.", "0x80070005", "read_the_module"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where_shown);
        boxes.clear();
        std::wstring shown;
        std::string debugged;
        {
            const testing_support::debugger_output debugger;   // closed before GoogleTest writes its failures there
            shown = c.fail();
            debugged = debugger.written();
        }
        EXPECT_EQ(c.shown, shown);
        EXPECT_NE(std::string::npos, debugged.find(c.code)) << debugged;
        EXPECT_NE(std::string::npos, debugged.find(c.raised_in)) << debugged;
    }
}

TEST_F(Framework, TypeInformationThatDoesNotFitTheClassIsRefused) {
    ComPtr<ICreateTypeLib2> made;
    ASSERT_EQ(S_OK, ::CreateTypeLib2(SYS_WIN32, L"bare.tlb", &made));
    ComPtr<ICreateTypeInfo> bare;
    const GUID bare_clsid = {0x1D0F2E9A, 0x2B3C, 0x4D5E, {0x8F, 0x90, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    ASSERT_EQ(S_OK, made->CreateTypeInfo(const_cast<LPOLESTR>(L"bare"), TKIND_COCLASS, &bare));
    ASSERT_EQ(S_OK, bare->SetGuid(bare_clsid));
    ASSERT_EQ(S_OK, bare->LayOut());
    ComPtr<ITypeLib> bare_library;
    ASSERT_EQ(S_OK, made.As(&bare_library));

    struct check_case {
        ITypeLib* library;
        GUID clsid;
        std::vector<IID> implemented;
        const char* message;
    };
    const check_case cases[] = {
        {server.TypeLib(), kIkorv, {kIkorv}, "Type information missing for class TRecorder"},
        {bare_library.Get(), bare_clsid, {kIkorv}, "Incorrect type information for class TRecorder"},
        {server.TypeLib(), addin_testing::kKorv, {IID_IDispatch}, "Dispatch interface missing from class TRecorder"},
    };
    for (const auto& c : cases) {
        try {
            read_coclass_information(c.library, c.clsid, "TRecorder", c.implemented);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const framework_error& e) {
            EXPECT_STREQ(c.message, e.what());
        }
    }
}

// A type library that could not be loaded once (the file was being replaced,
// a disk hiccup) loads at the next call.
TEST(ComServerTypeLibrary, ALoadThatFailedIsTriedAgainAtTheNextCall) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
    const std::wstring later = std::wstring(temp) + L"flinter-typelib-" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
    ::DeleteFileW(later.c_str());
    {
        TComServer server(later);
        EXPECT_THROW(server.TypeLib(), hresult_error) << "no file yet";
        ASSERT_TRUE(::CopyFileW(this_module_file_name().c_str(), later.c_str(), FALSE));
        ITypeLib* loaded = nullptr;
        EXPECT_NO_THROW(loaded = server.TypeLib());
        ASSERT_NE(nullptr, loaded);
        EXPECT_EQ(L"Korvex", server.ServerName());
    }
    ::DeleteFileW(later.c_str());
}

// The library stays while its objects live and while an HTTP request may
// still call into it.
TEST_F(Framework, TheLibraryIsUnloadableOnlyWithoutObjectsAndRequestsInFlight) {
    EXPECT_EQ(S_OK, LibraryCanUnloadNow());
    auto addin = create();
    EXPECT_EQ(S_FALSE, LibraryCanUnloadNow());
    addin.Reset();
    EXPECT_EQ(S_OK, LibraryCanUnloadNow());

    net::testing::loopback_server server;
    auto request = std::make_unique<net::TAdvHttp>();
    request->SetURL(server.url("/slow"));
    ASSERT_TRUE(request->Execute(false));
    EXPECT_EQ(S_FALSE, LibraryCanUnloadNow()) << "a request in flight";
    request.reset();
    EXPECT_TRUE(net::testing::pump_until([] { return net::live_request_links() == 0; }));
    EXPECT_EQ(S_OK, LibraryCanUnloadNow());
}

TEST_F(Framework, TheAddInsModuleIsReadFromItsStoredDefinition) {
    const TAddInModule module;
    EXPECT_EQ(L"DOD_Flinter", module.AddInName());
    EXPECT_EQ(L"", module.Description());
    EXPECT_EQ(TafwHostAppSet{ohaOutlook}, module.SupportedApps());
    EXPECT_EQ(3, module.LoadBehavior);
    EXPECT_FALSE(module.DisplayAlerts || module.RegisterForAllUsers || module.XLAutomationAddIn ||
                 module.HandleShortcuts);
    EXPECT_TRUE(module.OnAddInStartupComplete && module.OnDestroy && module.OnOLExplorerSelectionChange);
    EXPECT_FALSE(module.OnAddInInitialize || module.OnAddInFinalize || module.OnError || module.OnOLExplorerActivate);
    ASSERT_EQ(1u, module.components().size());
    const auto* bar = dynamic_cast<const TafwOlExplorerCommandbar*>(module.find_component("afwOlExplorerCommandbar1"));
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(L"QAV_Flinter", bar->DeclaredName());
    EXPECT_EQ(std::vector<const TafwCommandBar*>{bar}, std::vector<const TafwCommandBar*>(module.bars().begin(),
                                                                                          module.bars().end()));
}

TEST_F(Framework, AStoredDefinitionThatDoesNotFitItsModuleIsRefused) {
    struct refused_case {
        const char* body;
        const char* message;
    };
    const refused_case cases[] = {
        {"  Colour = 3\n", "line 2: unknown property Colour"},
        {"  AddInName = \"\"\n", "line 2: The AddInName property can not be empty."},
        {"  SupportedApps = []\n", "line 2: The SupportedApps property can not be empty."},
        {"  SupportedApps = [ohaNotepad]\n", "line 2: unknown host ohaNotepad"},
        {"  LoadBehavior = \"3\"\n", "line 2: a number expected"},
        {"  OnAddInInitialize = recordNothing\n", "line 2: unknown handler recordNothing"},
        {"  OnError = recordFinalize\n", "line 2: the handler of OnError takes arguments and is set in code"},
        {"  HandleShortcuts = true\n", "line 2: HandleShortcuts is not supported by this framework"},
        {"  object Bar1: TafwTrayIcon\n  end\n", "line 2: unknown class TafwTrayIcon"},
        {"  object Bar1: TafwOlExplorerCommandbar\n    CommandBarName = \"B\"\n    ButtonTypes = {01000000 00000000}\n"
         "    Buttons = < item OnClick = recordClick end >\n  end\n",
         "line 5: unknown handler recordClick"},
        {"  object Bar1: TafwOlExplorerCommandbar\n    CommandBarName = \"B\"\n  end\n"
         "  object Bar1: TafwOlExplorerCommandbar\n    CommandBarName = \"C\"\n  end\n",
         "line 5: a component named Bar1 exists already"},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("object Recorder: TRecordingModule\n") + c.body + "end\n";
        try {
            recording_module module(text.c_str());
            ADD_FAILURE() << "accepted: " << c.body;
        } catch (const definition::definition_error& e) {
            EXPECT_STREQ(c.message, e.what()) << c.body;
        }
    }
    EXPECT_THROW(recording_module("object Recorder: TAddInModule\nend\n"), definition::definition_error);
}

// Unregistration marks the add-in key before it deletes it, and attaches to
// the running Outlook without quitting it; a missing key is not made.
TEST_F(Framework, UnregistrationMarksAnExistingAddInKeyBeforeDeletingIt) {
    ASSERT_EQ(S_OK, mailhost_register());
    outlook = std::make_unique<mailhost::simulated_outlook>(mailhost::outlook_settings{.register_running = true});
    static const char* const kUnregistering = "object Recorder: TRecordingModule\n  AddInName = \"Recorder\"\n"
                                              "  SupportedApps = [ohaOutlook]\n"
                                              "  OnBeforeAddinUnregister = recordUnregister\nend\n";
    TComServer unregistering_server(this_module_file_name());
    addin_class unregistering = recorder_class();
    unregistering.create_module = [] { return module_ptr(new recording_module(kUnregistering)); };
    unregistering_server.ClassManager().add(std::make_unique<TafwFactory>(unregistering_server, unregistering));

    for (const bool key_exists_before : {true, false}) {
        SCOPED_TRACE(key_exists_before ? "add-in key present" : "no add-in key");
        if (key_exists_before) registry_key::create(HKEY_CURRENT_USER, kAddInKey).set_dword(L"LoadBehavior", 3);
        seen_while_unregistering = L"not raised";
        mailhost_clear_call_log();
        UpdateServerRegistry(unregistering_server, false);
        EXPECT_EQ(key_exists_before ? L"UNINSTALL 0" : L"not raised", seen_while_unregistering);
        EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kAddInKey));
        EXPECT_TRUE(mailhost_running());
        EXPECT_EQ(std::wstring::npos, outlook->call_log().find(L"Quit")) << outlook->call_log();
    }
    mailhost_unregister();
}

// Registration asks for running hosts to be closed when the module wants
// alerts: Retry asks again, Cancel ends the registration before any class key.
TEST_F(Framework, TheRunningHostDialogRepeatsOnRetryAndCancelsTheRegistration) {
    ASSERT_EQ(S_OK, mailhost_register());
    outlook = std::make_unique<mailhost::simulated_outlook>(mailhost::outlook_settings{.register_running = true});
    static const char* const kAlerting = "object Recorder: TRecordingModule\n  AddInName = \"Recorder\"\n"
                                         "  SupportedApps = [ohaOutlook]\n  DisplayAlerts = true\nend\n";
    TComServer alerting_server(this_module_file_name());
    addin_class alerting = recorder_class();
    alerting.create_module = [] { return module_ptr(new recording_module(kAlerting)); };
    alerting_server.ClassManager().add(std::make_unique<TafwFactory>(alerting_server, alerting));
    std::vector<std::wstring> asked;
    library_dialogs().running_hosts_dialog = [&](const std::wstring& caption, const std::wstring& text) {
        asked.push_back(caption + L"|" + text);
        return asked.size() == 1 ? IDRETRY : IDCANCEL;
    };
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);

    try {
        UpdateServerRegistry(alerting_server, true);
        ADD_FAILURE() << "registered";
    } catch (const framework_error& e) {
        EXPECT_STREQ("The registration process has been canceled.", e.what());
    }
    const std::wstring question = L"Recorder|Please close all running host application instances:\r\nOutlook ";
    EXPECT_EQ((std::vector<std::wstring>{question, question}), asked);
    EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, kClsidKey));

    const TLIBATTR library = library_attributes(alerting_server.TypeLib());
    ::UnRegisterTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid, library.syskind);
    mailhost_unregister();
}

}  // namespace
}  // namespace flinter
