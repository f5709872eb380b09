// The ribbon of Outlook 2010 and later: a fake add-in in this process, its
// class registered with CoRegisterClassObject and its ProgID and add-in key
// in the registry, hands the host scripted markup. The host asks for it,
// checks it, shows the group and calls the callbacks by name.
#include <gtest/gtest.h>

#include <windows.h>
#include <addin.h>

#include <string>
#include <vector>

#include "com/class_factory.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "pictures.h"
#include "simulated_outlook_test.h"
#include "test_addin.h"
#include "test_config.h"

using flinter::get;
using flinter::variant;
using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kProgId[] = L"MailhostTest.RibbonAddin." FLINTER_FLAVOUR;
const wchar_t kClsidText[] = L"{9D3B2F64-5A1C-4E8B-A7D2-3C4B5A6F7E80}";
const CLSID kClsid = {0x9D3B2F64, 0x5A1C, 0x4E8B, {0xA7, 0xD2, 0x3C, 0x4B, 0x5A, 0x6F, 0x7E, 0x80}};
const std::wstring kAddInKey = std::wstring(L"Software\\Microsoft\\Office\\Outlook\\AddIns\\") + kProgId;

std::wstring markup(const std::wstring& name_space, const std::wstring& tab, const std::wstring& second_id,
                    const std::wstring& action) {
    return L"<customUI xmlns=\"" + name_space + L"\" onLoad=\"RibbonLoaded\"><ribbon><tabs><tab idMso=\"" + tab +
           L"\"><group id=\"QAVGroup\" label=\"QAV_Flinter\">"
           L"<button id=\"QAVSpam\" label=\"Spam\" size=\"large\" tag=\"spam-tag\" screentip=\"Report as spam\""
           L" supertip=\"Sends the message to the report address.\" onAction=\"" + action + L"\" getImage=\"ButtonImage\"/>"
           L"<button id=\"" + second_id + L"\" label=\"Login\" size=\"large\" tag=\"login-tag\" onAction=\"ButtonClicked\"/>"
           L"</group></tab></tabs></ribbon></customUI>";
}

const std::wstring k2009 = L"http://schemas.microsoft.com/office/2009/07/customui";
const std::wstring kGoodMarkup = markup(k2009, L"TabMail", L"QAVLogin", L"ButtonClicked");

// What the fake add-in was asked and answered; one test at a time.
struct ribbon_record {
    std::wstring markup = kGoodMarkup;
    HRESULT custom_ui_result = S_OK;
    bool switch_off_on_action = false;
    std::vector<std::wstring> asked;     // GetCustomUI's ribbon ids
    std::vector<std::wstring> actions;   // onAction: "Id|Tag|context is the explorer"
    int loads = 0, images = 0;
    ComPtr<IDispatch> ribbon_ui;         // kept from onLoad until the disconnection
    ComPtr<IUnknown> explorer;           // the explorer a click's Context must be
    long objects = 0;
};
ribbon_record g_record;

class ribbon_addin : public mailhost::testing::test_addin<ribbon_addin> {
public:
    ribbon_addin() { ++g_record.objects; }
    ~ribbon_addin() override { --g_record.objects; }

    // The add-in object answers IRibbonExtensibility beside its connection.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
        if (out && iid == __uuidof(IRibbonExtensibility)) {
            *out = static_cast<IRibbonExtensibility*>(&ribbon_);
            AddRef();
            return S_OK;
        }
        return test_addin::QueryInterface(iid, out);
    }
    STDMETHODIMP OnConnection(IDispatch*, ext_ConnectMode, IDispatch*, SAFEARRAY**) noexcept override { return S_OK; }
    STDMETHODIMP OnDisconnection(ext_DisconnectMode, SAFEARRAY**) noexcept override {
        g_record.ribbon_ui.Reset();
        return S_OK;
    }
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) noexcept override { return S_OK; }
    STDMETHODIMP OnStartupComplete(SAFEARRAY**) noexcept override { return S_OK; }
    STDMETHODIMP OnBeginShutdown(SAFEARRAY**) noexcept override { return S_OK; }

    // The callbacks, by name.
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
        const wchar_t* known[] = {L"RibbonLoaded", L"ButtonClicked", L"ButtonImage"};
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        for (DISPID id = 0; id < 3; ++id)
            if (count == 1 && ::_wcsicmp(names[0], known[id]) == 0) return ids[0] = id + 1, S_OK;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) noexcept override try {
        if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH) return DISP_E_BADPARAMCOUNT;
        IDispatch* argument = params->rgvarg[0].pdispVal;
        if (id == 1) {
            ++g_record.loads;
            ComPtr<IRibbonUI> typed;
            if (SUCCEEDED(argument->QueryInterface(IID_PPV_ARGS(&typed)))) g_record.ribbon_ui = argument;
            return S_OK;
        }
        if (id == 3) {
            ++g_record.images;
            const auto picture = mailhost::testing::picture_of(
                mailhost::testing::bitmap_of(std::vector<DWORD>(32 * 32, 0x00CC2200), 32, 32), true);
            ::VariantInit(result);
            result->vt = VT_DISPATCH;
            result->pdispVal = ComPtr<IDispatch>(picture).Detach();
            return S_OK;
        }
        if (id != 2) return DISP_E_MEMBERNOTFOUND;
        // Id and Tag through the typed interface, Context by name: the host answers both ways.
        ComPtr<IRibbonControl> control;
        if (FAILED(argument->QueryInterface(IID_PPV_ARGS(&control)))) return E_NOINTERFACE;
        BSTR control_id = nullptr, tag = nullptr;
        control->get_Id(&control_id);
        control->get_Tag(&tag);
        const auto context = flinter::object_or_null(get(argument, L"Context"));
        g_record.actions.push_back(std::wstring(control_id ? control_id : L"") + L"|" + (tag ? tag : L"") + L"|" +
                                   (flinter::same_object(context.Get(), g_record.explorer.Get()) ? L"explorer" : L"other"));
        ::SysFreeString(control_id);
        ::SysFreeString(tag);
        if (g_record.switch_off_on_action) mailhost_connect_addin(kProgId, FALSE);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }

private:
    // IRibbonExtensibility, as a part of the add-in object.
    class ribbon_part : public IRibbonExtensibility {
    public:
        explicit ribbon_part(ribbon_addin& owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override { return owner_.QueryInterface(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() noexcept override { return owner_.AddRef(); }
        STDMETHODIMP_(ULONG) Release() noexcept override { return owner_.Release(); }
        STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override { return owner_.GetTypeInfoCount(n); }
        STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** t) noexcept override { return owner_.GetTypeInfo(i, l, t); }
        STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override {
            return owner_.GetIDsOfNames(iid, names, count, lcid, ids);
        }
        STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* bad) noexcept override {
            return owner_.Invoke(id, iid, lcid, flags, params, result, exception, bad);
        }
        STDMETHODIMP GetCustomUI(BSTR ribbon_id, BSTR* xml) noexcept override {
            g_record.asked.push_back(ribbon_id ? ribbon_id : L"");
            const bool explorer = g_record.asked.back() == L"Microsoft.Outlook.Explorer";
            *xml = explorer ? ::SysAllocString(g_record.markup.c_str()) : nullptr;
            return g_record.custom_ui_result;
        }

    private:
        ribbon_addin& owner_;
    };
    ribbon_part ribbon_{*this};
};

class Ribbon : public flinter::testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        g_record = ribbon_record{};
        const auto factory = flinter::make_com<flinter::class_factory<ribbon_addin>>();
        ASSERT_EQ(S_OK, ::CoRegisterClassObject(kClsid, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
        flinter::registry_key::create(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId + L"\\CLSID")
            .set_string(nullptr, kClsidText);
        auto key = flinter::registry_key::create(HKEY_CURRENT_USER, kAddInKey);
        key.set_dword(L"LoadBehavior", 3);
        key.set_string(L"FriendlyName", L"Ribbon add-in");
    }
    void TearDown() override {
        outlook().quit();
        g_record.explorer.Reset();
        g_record.ribbon_ui.Reset();
        ::CoRevokeClassObject(cookie_);
        simulated_outlook_test::TearDown();
        flinter::delete_key_tree(HKEY_CURRENT_USER, kAddInKey);
        flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId);
    }
    IDispatch* start_version(const wchar_t* version) {
        IDispatch* app = start({.mailbox = MAILHOST_SAMPLES, .addins = kProgId, .version = version});
        g_record.explorer = flinter::object_or_null(get(app, L"ActiveExplorer"));
        return app;
    }

    DWORD cookie_ = 0;
};

const wchar_t kShownGroup[] =
    L"group\tQAVGroup\tQAV_Flinter\n"
    L"button\tQAVSpam\tSpam\t32x32\tspam-tag\tReport as spam\tSends the message to the report address.\n"
    L"button\tQAVLogin\tLogin\tnone\tlogin-tag\t\t\n";

TEST_F(Ribbon, AVersion16HostShowsTheGroupOfGoodMarkupAndAClickReachesOnActionOnce) {
    IDispatch* app = start_version(L"16.0");
    EXPECT_EQ(L"16.0.", get(app, L"Version").as_wstring().substr(0, 5));
    EXPECT_EQ(std::vector<std::wstring>{L"Microsoft.Outlook.Explorer"}, g_record.asked);
    EXPECT_EQ(1, g_record.loads);
    EXPECT_NE(nullptr, g_record.ribbon_ui.Get());
    EXPECT_EQ(kShownGroup, mailhost::simulated_outlook::ribbon_controls()) << outlook().call_log();
    EXPECT_EQ(1, g_record.images);

    ASSERT_EQ(S_OK, mailhost_ribbon_click(1, L"Spam"));
    EXPECT_EQ(std::vector<std::wstring>{L"QAVSpam|spam-tag|explorer"}, g_record.actions);
    // The user's click on the window, where the explorer shows the button.
    RECT where{};
    ASSERT_EQ(S_OK, mailhost_locate(1, L"ribbon:QAVLogin", &where));
    const LPARAM at = MAKELPARAM((where.left + where.right) / 2, (where.top + where.bottom) / 2);
    ::SendMessageW(mailhost_explorer_window(1), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(mailhost_explorer_window(1), WM_LBUTTONUP, 0, at);
    EXPECT_EQ((std::vector<std::wstring>{L"QAVSpam|spam-tag|explorer", L"QAVLogin|login-tag|explorer"}), g_record.actions);
    EXPECT_NE(std::wstring::npos, outlook().call_log().find(L"ribbon click QAVSpam"));

    // The first inspector of a kind has its ribbon asked for, once.
    int inspector = 0;
    ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 1, &inspector));
    ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 2, &inspector));
    EXPECT_EQ((std::vector<std::wstring>{L"Microsoft.Outlook.Explorer", L"Microsoft.Outlook.Mail.Read"}), g_record.asked);

    outlook().quit();
    g_record.explorer.Reset();
    EXPECT_EQ(0, g_record.objects);   // the host let go of the add-in and its ribbon
    EXPECT_EQ(0, mailhost_outstanding_ref_count()) << mailhost::simulated_outlook::outstanding_refs();
}

// Markup Office would refuse is logged, and the add-in's ribbon is ignored.
TEST_F(Ribbon, RefusedMarkupIsLoggedAndItsRibbonIgnored) {
    const struct {
        const wchar_t* what;
        std::wstring markup;
        HRESULT custom_ui_result;
        const wchar_t* logged;
    } cases[] = {
        {L"not well-formed", kGoodMarkup.substr(0, kGoodMarkup.size() - 3), S_OK, L"is not well-formed"},
        {L"wrong namespace", markup(L"http://example.org/customui", L"TabMail", L"QAVLogin", L"ButtonClicked"), S_OK,
         L"is not in the custom UI namespace"},
        {L"duplicate id", markup(k2009, L"TabMail", L"QAVSpam", L"ButtonClicked"), S_OK, L"The id 'QAVSpam' is used more than once"},
        {L"unknown idMso", markup(k2009, L"TabMial", L"QAVLogin", L"ButtonClicked"), S_OK, L"Unknown Office control ID: TabMial"},
        {L"missing callback", markup(k2009, L"TabMail", L"QAVLogin", L"NoSuchCallback"), S_OK,
         L"The callback function 'NoSuchCallback' (onAction) was not found"},
        {L"GetCustomUI fails", kGoodMarkup, E_FAIL, L"GetCustomUI failed: 0x80004005"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_record = ribbon_record{};
        g_record.markup = c.markup;
        g_record.custom_ui_result = c.custom_ui_result;
        start_version(L"16.0");
        EXPECT_NE(std::wstring::npos, outlook().call_log().find(L"addin " + std::wstring(kProgId)));
        EXPECT_NE(std::wstring::npos, outlook().call_log().find(c.logged)) << outlook().call_log();
        EXPECT_EQ(L"", mailhost::simulated_outlook::ribbon_controls());
        EXPECT_EQ(0, g_record.loads);
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), mailhost_ribbon_click(1, L"Spam"));
        EXPECT_TRUE(g_record.actions.empty());
        outlook().quit();
        g_record.explorer.Reset();
    }
}

TEST_F(Ribbon, AVersion11HostNeverAsksForTheRibbon) {
    IDispatch* app = start_version(L"");
    EXPECT_EQ(L"11.0.", get(app, L"Version").as_wstring().substr(0, 5));
    int inspector = 0;
    ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 1, &inspector));
    EXPECT_TRUE(g_record.asked.empty());
    EXPECT_EQ(L"", mailhost::simulated_outlook::ribbon_controls());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), mailhost_ribbon_click(1, L"Spam"));
}

// The user switches the add-in off from inside its own onAction: the click
// ends in objects that still exist, the group goes and every reference with it.
TEST_F(Ribbon, SwitchingTheAddInOffDuringAClickDropsItsGroupAndLetsItGo) {
    start_version(L"14.0");
    g_record.switch_off_on_action = true;
    ASSERT_EQ(S_OK, mailhost_ribbon_click(1, L"QAVSpam"));
    EXPECT_EQ(std::vector<std::wstring>{L"QAVSpam|spam-tag|explorer"}, g_record.actions);
    EXPECT_EQ(L"", mailhost::simulated_outlook::ribbon_controls());
    EXPECT_EQ(nullptr, g_record.ribbon_ui.Get());
    EXPECT_EQ(0, g_record.objects);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), mailhost_ribbon_click(1, L"QAVSpam"));
    outlook().quit();
    g_record.explorer.Reset();
    EXPECT_EQ(0, mailhost_outstanding_ref_count()) << mailhost::simulated_outlook::outstanding_refs();
}

}  // namespace
