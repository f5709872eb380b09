// The add-in on the ribbon of Outlook 2010 and later, with the add-in's own
// module connected in this process to the simulated Outlook: the ribbon XML
// read by the system's XML parser (MSXML, through COM) with every callback it
// names answered, the buttons clicked and their pictures asked for through
// the add-in object's IDispatch as Office calls them, and the explorer bar
// left out (and one kept from an earlier run removed) once the host asked
// for the explorer's ribbon.
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>
#include <addin.h>
#include <olectl.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/com_object.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "com/unique_res.h"
#include "commands/addin_module.h"
#include "settings/settings_store.h"
#include "simulated_outlook_test.h"
#include "toolbar_in_explorers.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;
using addin_testing::command_bars_of;
using addin_testing::kSettingsTag;
using addin_testing::kSpamTag;
using addin_testing::kToolbar;

const variant missing = variant::missing();

constexpr wchar_t kExplorerRibbon[] = L"Microsoft.Outlook.Explorer";
constexpr wchar_t kCustomUi[] = L"http://schemas.microsoft.com/office/2009/07/customui";
constexpr int kElementNode = 1;   // the DOM's nodeType of an element

// ---- the host's side ----

// One of Office's ribbon objects, called by the add-in through its vtable only.
template <class Derived, class Interface>
class ribbon_object : public com_object<Derived, Interface, answers_as<IDispatch, Interface>> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
        return E_NOTIMPL;
    }
};

// The IRibbonControl Office hands to a callback: the button's Id.
class ribbon_control final : public ribbon_object<ribbon_control, IRibbonControl> {
public:
    explicit ribbon_control(std::wstring id) : id_(std::move(id)) {}
    STDMETHODIMP get_Id(BSTR* id) noexcept override { return text(id_, id); }
    STDMETHODIMP get_Tag(BSTR* tag) noexcept override { return text(L"", tag); }
    STDMETHODIMP get_Context(IDispatch** context) noexcept override {
        if (!context) return E_POINTER;
        *context = nullptr;
        return S_OK;
    }

private:
    static HRESULT text(const std::wstring& value, BSTR* out) noexcept {
        if (!out) return E_POINTER;
        *out = ::SysAllocString(value.c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    std::wstring id_;
};

// A callback called as Office calls it: found by name, invoked as a method
// with the control as its one argument.
HRESULT call_back(IDispatch* addin, const wchar_t* name, IDispatch* argument, VARIANT* result = nullptr) {
    DISPID id = 0;
    auto* names = const_cast<LPOLESTR>(name);
    if (const HRESULT found = addin->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id); FAILED(found))
        return found;
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = argument;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    return addin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

HRESULT click_on_ribbon(IDispatch* addin, const wchar_t* button) {
    return call_back(addin, L"onAction", make_com<ribbon_control>(button).Get());
}

// Office's checks of a custom UI, with the system's parser: well formed, in
// the 2009 namespace, ids unique, every callback answered by the add-in.
// One line for each problem; none for a sound XML.
class ribbon_checker {
public:
    explicit ribbon_checker(IDispatch* addin) : addin_(addin) {}

    std::vector<std::wstring> problems(const std::wstring& xml) {
        problems_.clear();
        ids_.clear();
        const ComPtr<IDispatch> document = parser();
        put(document.Get(), L"async", variant(false));
        if (!call(document.Get(), L"loadXML", {variant(xml)}).as_bool()) {
            const auto error = get_object(document.Get(), L"parseError");
            problems_.push_back(L"not well formed: " + get(error.Get(), L"reason").as_wstring());
            return problems_;
        }
        check_element(get_object(document.Get(), L"documentElement").Get());
        return problems_;
    }

private:
    static ComPtr<IDispatch> parser() {
        CLSID clsid{};
        if (FAILED(::CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)))
            check(::CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid));
        ComPtr<IDispatch> document;
        check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document)));
        return document;
    }

    // A callback attribute: onLoad, onAction, loadImage, getImage, getLabel...
    static bool names_a_callback(const std::wstring& attribute) {
        const auto starts = [&](const wchar_t* prefix) {
            const std::wstring p(prefix);
            return attribute.size() > p.size() && attribute.compare(0, p.size(), p) == 0 &&
                   ::IsCharUpperW(attribute[p.size()]);
        };
        return starts(L"on") || starts(L"get") || attribute == L"loadImage";
    }

    bool answered(const std::wstring& callback) const {
        DISPID id = 0;
        auto* name = const_cast<LPOLESTR>(callback.c_str());
        return SUCCEEDED(addin_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    }

    void check_element(IDispatch* element) {
        const std::wstring name = get(element, L"nodeName").as_wstring();
        if (get(element, L"namespaceURI").as_wstring() != kCustomUi) problems_.push_back(name + L" outside the namespace");
        const auto attributes = get_object(element, L"attributes");
        for (auto attribute = object_or_null(call(attributes.Get(), L"nextNode")); attribute;
             attribute = object_or_null(call(attributes.Get(), L"nextNode"))) {
            const std::wstring key = get(attribute.Get(), L"nodeName").as_wstring();
            const std::wstring value = get(attribute.Get(), L"nodeValue").as_wstring();
            if (key == L"id" && !ids_.insert(value).second) problems_.push_back(L"id " + value + L" twice");
            if (names_a_callback(key) && !answered(value)) problems_.push_back(key + L"=" + value + L" unanswered");
        }
        for (auto child = object_or_null(get(element, L"firstChild")); child;
             child = object_or_null(get(child.Get(), L"nextSibling"))) {
            if (get(child.Get(), L"nodeType").as_int() == kElementNode) check_element(child.Get());
        }
    }

    IDispatch* addin_;
    std::vector<std::wstring> problems_;
    std::set<std::wstring> ids_;
};

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    const auto at = text.find(from);
    if (at != std::wstring::npos) text.replace(at, from.size(), to);
    return text;
}

int bars_named_toolbar(IDispatch* application, int explorer) {
    return static_cast<int>(addin_testing::bars_named(application, explorer, addin_testing::kToolbar).size());
}

// ---- the add-in's own module, connected in this process ----

// Connects the add-in's module (showing nothing to the user, opening no
// browser) to the simulated Outlook; module errors are recorded, not shown.
class RibbonAddIn : public testing_support::simulated_outlook_test {
protected:
    void start_outlook() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        addin_testing::record_recent_update_check();
        library_dialogs().module_error_box = [this](HWND, const std::wstring&, const std::wstring& text) {
            errors.push_back(text);
        };
        start({.mailbox = kSamplesMailbox, .explorers = 1});
    }
    // Office's order: OnConnection, the ribbons asked for, OnStartupComplete.
    void connect(ext_ConnectMode mode, const wchar_t* ribbon_asked = nullptr) {
        factory = std::make_unique<TafwFactory>(
            server, addin_class{"Tkorv", addin_testing::kKorv, {addin_testing::kIkorv},
                                &create_addin_object<TafwAddin>, [this] {
                                    user_dialogs dialogs = library_dialogs();   // module errors recorded
                                    dialogs.choose_color = [](HWND) { return std::optional<COLORREF>(); };
                                    dialogs.show_error = [this](HWND, const std::string& text) { window_errors.push_back(text); };
                                    dialogs.open_url = [this](const std::string& url) { opened.push_back(url); };
                                    return module_ptr(new TAddInModule(std::move(dialogs)));
                                }});
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        ASSERT_EQ(S_OK, addin->OnConnection(application(), mode, nullptr, &custom));
        if (ribbon_asked) custom_ui(ribbon_asked);
        if (mode == ext_cm_Startup) {
            ASSERT_EQ(S_OK, addin->OnStartupComplete(&custom));
        }
    }
    void TearDown() override {
        if (addin) addin->OnDisconnection(ext_dm_HostShutdown, &custom);
        addin.Reset();
        factory.reset();
        library_dialogs() = {};
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        ::DeleteFileA(ini.c_str());
        simulated_outlook_test::TearDown();
        EXPECT_TRUE(errors.empty()) << errors.front();
        EXPECT_TRUE(window_errors.empty()) << window_errors.front();
    }

    std::wstring custom_ui(const wchar_t* ribbon) {
        ComPtr<IRibbonExtensibility> extensibility;
        EXPECT_EQ(S_OK, addin.As(&extensibility));
        if (!extensibility) return {};
        BSTR xml = nullptr;
        EXPECT_EQ(S_OK, extensibility->GetCustomUI(make_bstr(ribbon).get(), &xml));
        const unique_bstr owned(xml);
        return xml ? std::wstring(xml, ::SysStringLen(xml)) : std::wstring();
    }
    IDispatch* dispatch() const {
        ComPtr<IDispatch> object;
        addin.As(&object);
        return object.Get();   // the add-in object holds it
    }
    TAddInModule& module() const { return static_cast<TAddInModule&>(*static_cast<TafwAddin*>(addin.Get())->Module()); }

    std::vector<std::wstring> errors;
    std::vector<std::string> opened, window_errors;
    const std::string ini = ProcessWorkFolder() + kSettingsFileName;
    unique_safearray custom_{::SafeArrayCreateVector(VT_VARIANT, 0, 0)};
    SAFEARRAY* custom = custom_.get();
    TComServer server{this_module_file_name()};
    std::unique_ptr<TafwFactory> factory;
    ComPtr<IDTExtensibility2> addin;
};

// ---- the XML ----

TEST_F(RibbonAddIn, TheExplorersXmlPassesOfficesChecksAndBrokenXmlDoesNot) {
    start_outlook();
    connect(ext_cm_Startup);
    const std::wstring xml = custom_ui(kExplorerRibbon);
    ribbon_checker checker(dispatch());
    const auto problems = checker.problems(xml);
    EXPECT_TRUE(problems.empty()) << problems.front() << "\n" << xml;

    // What the group shows, read by the parser.
    ComPtr<IDispatch> document;
    {
        CLSID clsid{};
        ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid));
        ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document)));
    }
    ASSERT_TRUE(call(document.Get(), L"loadXML", {variant(xml)}).as_bool());
    call(document.Get(), L"setProperty", {variant(L"SelectionLanguage"), variant(L"XPath")});
    call(document.Get(), L"setProperty",
         {variant(L"SelectionNamespaces"), variant(std::wstring(L"xmlns:c='") + kCustomUi + L"'")});
    const auto group = object_or_null(call(document.Get(), L"selectSingleNode",
                                           {variant(L"/c:customUI/c:ribbon/c:tabs/c:tab[@idMso='TabMail']/c:group")}));
    ASSERT_NE(nullptr, group.Get()) << xml;
    EXPECT_EQ(L"QAV_Flinter", call(group.Get(), L"getAttribute", {variant(L"label")}).as_wstring());
    const auto buttons = object_or_null(call(group.Get(), L"selectNodes", {variant(L"c:button")}));
    struct expected_button {
        const wchar_t* label;
        const wchar_t* screentip;
    };
    const expected_button expected[] = {
        {L"Spam", L"Report Spam"}, {L"Settings", L"Settings"}, {L"Analyzer", L"Header Analyzer"}, {L"Login", L"Login to Postini"}};
    ASSERT_EQ(4, get(buttons.Get(), L"length").as_int());
    for (int i = 0; i < 4; ++i) {
        const auto button = get_object(buttons.Get(), L"item", {variant(i)});
        const auto attribute = [&](const wchar_t* name) {
            return call(button.Get(), L"getAttribute", {variant(name)}).as_wstring();
        };
        EXPECT_EQ(expected[i].label, attribute(L"label"));
        EXPECT_EQ(expected[i].screentip, attribute(L"screentip"));
        EXPECT_EQ(L"large", attribute(L"size"));
        EXPECT_NE(L"", attribute(L"supertip"));
        EXPECT_EQ(std::wstring::npos, attribute(L"supertip").find(L'\n'));
    }

    // The checks catch what Office would refuse.
    struct breakage {
        const wchar_t* what;
        std::wstring xml;
    };
    const breakage broken[] = {
        {L"cut short", xml.substr(0, xml.size() - 3)},
        {L"another namespace", replaced(xml, L"2009/07", L"2006/01")},
        {L"an id twice", replaced(xml, L"id=\"flinterSettings\"", L"id=\"flinterSpam\"")},
        {L"a callback the add-in lacks", replaced(xml, L"onAction=\"onAction\"", L"onAction=\"onClick\"")},
    };
    for (const breakage& b : broken) {
        ASSERT_NE(xml, b.xml) << b.what;
        EXPECT_FALSE(checker.problems(b.xml).empty()) << b.what;
    }

    // Other ribbons (an inspector's) get no XML of the add-in's.
    EXPECT_EQ(L"", custom_ui(L"Microsoft.Outlook.Mail.Read"));
}

// ---- the buttons ----

TEST_F(RibbonAddIn, EachButtonRunsItsCommandOnceLikeItsToolbarButton) {
    start_outlook();
    connect(ext_cm_AfterStartup);
    settings_record stored;
    stored.email = "abuse@example.com";
    SaveSettings(ini, stored);
    ::PostMessageW(module().fset()->handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterSettings"));
    EXPECT_EQ("abuse@example.com", module().fset()->record().email);

    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterAnalyzer"));
    EXPECT_TRUE(module().finfo()->visible());

    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterLogin"));
    EXPECT_EQ(1u, opened.size());

    const int first = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &first, 1));
    const std::wstring sent_before = mailhost::simulated_outlook::last_sent_file();
    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterSpam"));
    EXPECT_NE(sent_before, mailhost::simulated_outlook::last_sent_file()) << "the report went out";

    // A control of no button of the add-in's runs nothing.
    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"someoneElsesButton"));
    EXPECT_EQ(1u, opened.size());
}

// While "Settings" shows modally (its handler runs a message loop), the user
// clicks "Settings" again, on the ribbon and on the toolbar: both clicks are
// dropped, as a second toolbar click is, so what the user typed stays.
struct second_click {
    static inline IDispatch* addin = nullptr;
    static inline HWND window = nullptr;
    static inline bool done = false;
    static inline std::wstring after;
    static inline HRESULT ribbon = E_FAIL, toolbar = E_FAIL;
    static void CALLBACK act(HWND, UINT, UINT_PTR, DWORD) {
        if (done || !::IsWindowVisible(window)) return;
        done = true;
        ::SetDlgItemTextW(window, Tfset::Edit1, L"typed@report.example");
        // Each click that began a modal loop of its own would take one of these and end.
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        ribbon = click_on_ribbon(addin, L"flinterSettings");
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        toolbar = mailhost_click(1, kSettingsTag, nullptr);
        wchar_t text[128] = {};
        ::GetDlgItemTextW(window, Tfset::Edit1, text, 128);
        after = text;
    }
};

TEST_F(RibbonAddIn, AClickWhileItsCommandStillRunsIsDroppedOnTheRibbonAndTheToolbar) {
    start_outlook();
    connect(ext_cm_AfterStartup);
    settings_record stored;
    stored.email = "abuse@example.com";
    SaveSettings(ini, stored);
    second_click::addin = dispatch();
    second_click::window = module().fset()->handle();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &second_click::act);
    ASSERT_NE(0u, timer);
    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterSettings"));
    ::KillTimer(nullptr, timer);
    ASSERT_TRUE(second_click::done) << "the settings window never showed";
    EXPECT_EQ(S_OK, second_click::ribbon);
    EXPECT_EQ(S_OK, second_click::toolbar);
    EXPECT_EQ(L"typed@report.example", second_click::after) << "a second click loaded the settings again";
}

TEST_F(RibbonAddIn, EachButtonsImageIsA32By32PictureWithATransparentBackground) {
    start_outlook();
    connect(ext_cm_AfterStartup);
    for (const wchar_t* button : {L"flinterSpam", L"flinterSettings", L"flinterAnalyzer", L"flinterLogin"}) {
        SCOPED_TRACE(button);
        variant image;
        ASSERT_EQ(S_OK, call_back(dispatch(), L"getImage", make_com<ribbon_control>(button).Get(), image.put()));
        ASSERT_EQ(VT_DISPATCH, image.type());
        ComPtr<IPicture> picture;
        ASSERT_EQ(S_OK, image.as_dispatch().As(&picture));
        OLE_HANDLE handle = 0;
        ASSERT_EQ(S_OK, picture->get_Handle(&handle));
        DIBSECTION dib{};
        ASSERT_EQ(static_cast<int>(sizeof dib),
                  ::GetObjectW(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof dib, &dib));
        EXPECT_EQ(32, dib.dsBm.bmWidth);
        EXPECT_EQ(32, dib.dsBm.bmHeight);
        ASSERT_EQ(32, dib.dsBm.bmBitsPixel);
        const auto* pixels = static_cast<const std::uint32_t*>(dib.dsBm.bmBits);
        int transparent = 0, opaque = 0;
        for (int i = 0; i < 32 * 32; ++i) {
            const std::uint32_t alpha = pixels[i] >> 24;
            if (alpha == 0) ++transparent;
            if (alpha == 0xFF) ++opaque;
        }
        EXPECT_EQ(0u, pixels[0] >> 24) << "a corner shows the ribbon through";
        EXPECT_GT(transparent, 32) << "a background";
        EXPECT_GT(opaque, 32 * 8) << "a subject";
    }
}

// The ribbon Office hands to onLoad.
class ribbon_ui final : public ribbon_object<ribbon_ui, IRibbonUI> {
public:
    STDMETHODIMP Invalidate() noexcept override { return S_OK; }
    STDMETHODIMP InvalidateControl(BSTR) noexcept override { return S_OK; }
};

// The host may call back after it began to shut down, and after the user
// switched the add-in off while it still holds the add-in object: nothing
// runs, nothing freed is touched, and the object keeps the library loaded.
TEST_F(RibbonAddIn, CallbacksAfterShutdownBeganOrTheAddInWasSwitchedOffRunNothing) {
    start_outlook();
    connect(ext_cm_AfterStartup);
    const auto ribbon = make_com<ribbon_ui>();
    EXPECT_EQ(S_OK, call_back(dispatch(), L"onLoad", ribbon.Get()));
    EXPECT_EQ(2u, ribbon->reference_count()) << "the add-in keeps the ribbon";

    ASSERT_EQ(S_OK, addin->OnBeginShutdown(&custom));
    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterLogin"));
    EXPECT_TRUE(opened.empty());

    ASSERT_EQ(S_OK, addin->OnDisconnection(ext_dm_UserClosed, &custom));
    EXPECT_EQ(1u, ribbon->reference_count()) << "the ribbon is let go at disconnection";
    EXPECT_EQ(S_OK, click_on_ribbon(dispatch(), L"flinterLogin"));
    variant image;
    EXPECT_EQ(S_OK, call_back(dispatch(), L"getImage", make_com<ribbon_control>(L"flinterSpam").Get(), image.put()));
    EXPECT_EQ(S_OK, call_back(dispatch(), L"onLoad", ribbon.Get()));
    EXPECT_EQ(1u, ribbon->reference_count());
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(server.CanUnloadNow()) << "the host still holds the add-in object";
}

// ---- the ribbon in place of the explorer bar ----

TEST_F(RibbonAddIn, AHostThatAskedForTheExplorersRibbonGetsNoExplorerBarAndLosesAnOldOne) {
    struct ribbon_case {
        ext_ConnectMode mode;
        const wchar_t* asked;
        int bars;
    };
    const ribbon_case cases[] = {
        {ext_cm_Startup, kExplorerRibbon, 0},
        {ext_cm_Startup, L"Microsoft.Outlook.Mail.Read", 1},
        {ext_cm_AfterStartup, kExplorerRibbon, 0},   // asked once the bar was placed: it goes
    };
    for (const ribbon_case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.mode << " " << c.asked);
        start_outlook();
        // A bar an earlier version of the add-in left in the profile, with its "Spam" button.
        const auto old_bar = get_object(command_bars_of(application(), 1).Get(), L"Add",
                                        {variant(kToolbar), variant(1), missing, variant(false)});
        const auto old_button =
            get_object(get_object(old_bar.Get(), L"Controls").Get(), L"Add", {variant(1), missing, missing, missing, variant(false)});
        put(old_button.Get(), L"Tag", variant(kSpamTag));
        ASSERT_EQ(1, bars_named_toolbar(application(), 1));

        connect(c.mode, c.asked);
        EXPECT_EQ(c.bars, bars_named_toolbar(application(), 1));
        // A window opened later: the bar follows only where there is no ribbon.
        int second = 0;
        ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &second));
        ASSERT_EQ(S_OK, mailhost_switch_folder(second, L"Inbox", nullptr));
        EXPECT_EQ(c.bars, bars_named_toolbar(application(), second));
        ASSERT_EQ(S_OK, mailhost_close_explorer(second));
        const auto found = get(command_bars_of(application(), 1).Get(), L"FindControl", {missing, missing, variant(kSpamTag)});
        EXPECT_EQ(c.bars != 0, found.as_dispatch() != nullptr);

        addin->OnDisconnection(ext_dm_HostShutdown, &custom);
        addin.Reset();
    }
}

}  // namespace
}  // namespace flinter
