// The Outlook object wrappers and their event sink, against the simulated
// Outlook: which event reaches which slot, arguments in declaration order with
// Cancel written back, references balanced, refused advise and unadvise, and a
// wrapper freed inside its own event.
#include <gtest/gtest.h>

#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "addin/outlook_wrappers.h"
#include "com/late_bound.h"
#include "mailhost/simulated_outlook.h"
#include "simulated_outlook_test.h"
#include "addin_test_config.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

// Every slot of a wrapper writes "<event> <argument summary>" and checks the sender.
struct event_log {
    std::vector<std::wstring> lines;
    const void* expected_sender = nullptr;
    bool wrong_sender = false;

    template <class Sender>
    void note(Sender& sender, const std::wstring& line) {
        wrong_sender = wrong_sender || static_cast<const void*>(&sender) != expected_sender;
        lines.push_back(line);
    }
};

std::wstring name_of(IDispatch* object) {
    return object ? get(object, L"Class").as_wstring() : L"null";
}

std::unique_ptr<TOleServer> logged_application(event_log& log) {
    auto w = std::make_unique<TOutlookApplication>();
    w->OnItemSend = [&](auto& s, IDispatch* item, VARIANT_BOOL& cancel) {
        log.note(s, L"ItemSend " + name_of(item));
        cancel = VARIANT_TRUE;
    };
    w->OnNewMail = [&](auto& s) { log.note(s, L"NewMail"); };
    w->OnReminder = [&](auto& s, IDispatch* item) { log.note(s, L"Reminder " + name_of(item)); };
    w->OnOptionsPagesAdd = [&](auto& s, IDispatch* pages) { log.note(s, L"OptionsPagesAdd " + name_of(pages)); };
    w->OnStartup = [&](auto& s) { log.note(s, L"Startup"); };
    w->OnQuit = [&](auto& s) { log.note(s, L"Quit"); };
    return w;
}

std::unique_ptr<TOleServer> logged_explorers(event_log& log) {
    auto w = std::make_unique<TExplorers>();
    w->OnNewExplorer = [&](auto& s, IDispatch* e) { log.note(s, L"NewExplorer " + name_of(e)); };
    return w;
}

std::unique_ptr<TOleServer> logged_explorer(event_log& log) {
    auto w = std::make_unique<TExplorer>();
    w->OnActivate = [&](auto& s) { log.note(s, L"Activate"); };
    w->OnFolderSwitch = [&](auto& s) { log.note(s, L"FolderSwitch"); };
    w->OnBeforeFolderSwitch = [&](auto& s, IDispatch* folder, VARIANT_BOOL& cancel) {
        log.note(s, L"BeforeFolderSwitch " + name_of(folder));
        cancel = VARIANT_TRUE;
    };
    w->OnViewSwitch = [&](auto& s) { log.note(s, L"ViewSwitch"); };
    w->OnBeforeViewSwitch = [&](auto& s, const VARIANT& view, VARIANT_BOOL& cancel) {
        log.note(s, L"BeforeViewSwitch " + variant(view).as_wstring());
        cancel = VARIANT_TRUE;
    };
    w->OnDeactivate = [&](auto& s) { log.note(s, L"Deactivate"); };
    w->OnSelectionChange = [&](auto& s) { log.note(s, L"SelectionChange"); };
    w->OnClose = [&](auto& s) { log.note(s, L"Close"); };
    return w;
}

std::unique_ptr<TOleServer> logged_inspectors(event_log& log) {
    auto w = std::make_unique<TInspectors>();
    w->OnNewInspector = [&](auto& s, IDispatch* i) { log.note(s, L"NewInspector " + name_of(i)); };
    return w;
}

std::unique_ptr<TOleServer> logged_inspector(event_log& log) {
    auto w = std::make_unique<TafwInspector>();
    w->OnActivate = [&](auto& s) { log.note(s, L"Activate"); };
    w->OnDeactivate = [&](auto& s) { log.note(s, L"Deactivate"); };
    w->OnClose = [&](auto& s) { log.note(s, L"Close"); };
    return w;
}

std::unique_ptr<TOleServer> logged_namespace(event_log& log) {
    auto w = std::make_unique<TNameSpace>();
    w->OnOptionsPagesAdd = [&](auto& s, IDispatch* pages, IDispatch* folder) {
        log.note(s, L"OptionsPagesAdd " + name_of(pages) + L" " + name_of(folder));
    };
    return w;
}

class OutlookServers : public testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        start({.mailbox = kSamplesMailbox, .explorers = 1});
        int index = 0;
        ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 1, &index));
        baseline_refs_ = mailhost_outstanding_ref_count();
    }

    ComPtr<IDispatch> host_object(const std::wstring& name) const {
        if (name == L"Application") return application();
        if (name == L"NameSpace") return get_object(application(), L"GetNamespace", {variant(L"MAPI")});
        if (name == L"Explorer1") return get_object(application(), L"ActiveExplorer");
        if (name == L"Inspector1") return get_object(application(), L"ActiveInspector");
        return get_object(application(), name.c_str());
    }
    void expect_nothing_held() {
        EXPECT_EQ(baseline_refs_, mailhost_outstanding_ref_count()) << mailhost::simulated_outlook::outstanding_refs();
        EXPECT_EQ(0, mailhost_advised_sink_count()) << mailhost::simulated_outlook::advised_sinks();
    }

    long baseline_refs_ = 0;
};

// DISPPARAMS as Outlook builds them: the arguments last-first.
struct event_params {
    std::vector<VARIANT> reversed;
    DISPPARAMS params{};
    explicit event_params(std::vector<VARIANT> in_order) : reversed(in_order.rbegin(), in_order.rend()) {
        params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    }
};

VARIANT dispatch_arg(IDispatch* object) {
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    return v;
}

VARIANT cancel_arg(VARIANT_BOOL& cancel) {
    VARIANT v;
    v.vt = VT_BOOL | VT_BYREF;
    v.pboolVal = &cancel;
    return v;
}

HRESULT deliver(TOleServer& server, DISPID id, event_params& e) {
    variant result;
    EXCEPINFO exception{};
    UINT bad = 0;
    return server.EventSink()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &e.params, result.put(),
                                      &exception, &bad);
}

TEST_F(OutlookServers, EachRecognisedEventReachesItsOwnSlotWithTheWrapperAsSender) {
    using factory = std::unique_ptr<TOleServer> (*)(event_log&);
    // Argument kinds in declaration order: D an object (the namespace), C a Cancel flag, V a view name.
    struct row {
        const wchar_t* object;
        factory make;
        DISPID id;
        const wchar_t* arguments;
        const wchar_t* expected;   // null: nothing is raised
        bool cancelled;
    };
    const row rows[] = {
        {L"Application", logged_application, 0xF002, L"DC", L"ItemSend 1", true},
        {L"Application", logged_application, 0xF003, L"", L"NewMail", false},
        {L"Application", logged_application, 0xF004, L"D", L"Reminder 1", false},
        {L"Application", logged_application, 0xF005, L"D", L"OptionsPagesAdd 1", false},
        {L"Application", logged_application, 0xF006, L"", L"Startup", false},
        {L"Application", logged_application, 0xF007, L"", L"Quit", false},
        {L"Application", logged_application, 0xF001, L"", nullptr, false},
        {L"Explorers", logged_explorers, 0xF001, L"D", L"NewExplorer 1", false},
        {L"Explorers", logged_explorers, 0xF002, L"D", nullptr, false},
        {L"Explorer1", logged_explorer, 0xF001, L"", L"Activate", false},
        {L"Explorer1", logged_explorer, 0xF002, L"", L"FolderSwitch", false},
        {L"Explorer1", logged_explorer, 0xF003, L"DC", L"BeforeFolderSwitch 1", true},
        {L"Explorer1", logged_explorer, 0xF004, L"", L"ViewSwitch", false},
        {L"Explorer1", logged_explorer, 0xF005, L"VC", L"BeforeViewSwitch By Sender", true},
        {L"Explorer1", logged_explorer, 0xF006, L"", L"Deactivate", false},
        {L"Explorer1", logged_explorer, 0xF007, L"", L"SelectionChange", false},
        {L"Explorer1", logged_explorer, 0xF008, L"", L"Close", false},
        {L"Explorer1", logged_explorer, 0xF009, L"", nullptr, false},
        {L"Explorer1", logged_explorer, 0, L"", nullptr, false},
        {L"Inspectors", logged_inspectors, 0xF001, L"D", L"NewInspector 1", false},
        {L"Inspector1", logged_inspector, 0xF001, L"", L"Activate", false},
        {L"Inspector1", logged_inspector, 0xF006, L"", L"Deactivate", false},
        {L"Inspector1", logged_inspector, 0xF008, L"", L"Close", false},
        {L"Inspector1", logged_inspector, 0xF007, L"", nullptr, false},
        {L"NameSpace", logged_namespace, 0xF005, L"DD", L"OptionsPagesAdd 1 1", false},
        {L"NameSpace", logged_namespace, 0xF001, L"DD", nullptr, false},
    };
    const auto argument_object = host_object(L"NameSpace");   // its Class is 1
    for (const row& r : rows) {
        SCOPED_TRACE(std::wstring(r.object) + L" " + std::to_wstring(r.id));
        event_log log;
        auto wrapper = r.make(log);
        log.expected_sender = wrapper.get();
        wrapper->ConnectTo(host_object(r.object).Get());
        ASSERT_NE(0u, wrapper->Cookie());

        VARIANT_BOOL cancel = VARIANT_FALSE;
        std::vector<variant> args;
        for (const wchar_t* kind = r.arguments; *kind; ++kind) {
            if (*kind == L'D') args.emplace_back(argument_object.Get());
            if (*kind == L'V') args.emplace_back(L"By Sender");
            if (*kind == L'C') args.emplace_back(variant(cancel_arg(cancel)));
        }
        std::vector<VARIANT> raw;
        for (auto& a : args) raw.push_back(a.get());
        ASSERT_EQ(S_OK, mailhost_fire(r.object, r.id, raw.data(), static_cast<int>(raw.size())));

        EXPECT_EQ(r.expected ? std::vector<std::wstring>{r.expected} : std::vector<std::wstring>{}, log.lines);
        EXPECT_FALSE(log.wrong_sender);
        EXPECT_EQ(r.cancelled ? VARIANT_TRUE : VARIANT_FALSE, cancel);
    }
}

TEST_F(OutlookServers, ACancelSetByAHandlerReachesOutlookAndKeepsTheFolder) {
    TExplorer explorer;
    std::wstring new_folder;
    explorer.OnBeforeFolderSwitch = [&](TExplorer&, IDispatch* folder, VARIANT_BOOL& cancel) {
        new_folder = get(folder, L"Name").as_wstring();
        cancel = VARIANT_TRUE;
    };
    explorer.ConnectTo(host_object(L"Explorer1").Get());
    BOOL cancelled = FALSE;
    ASSERT_EQ(S_OK, mailhost_switch_folder(1, L"Calendar", &cancelled));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(L"Calendar", new_folder);
    EXPECT_EQ(L"Inbox", get(get_object(explorer.DefaultInterface(), L"CurrentFolder").Get(), L"Name").as_wstring());
}

TEST_F(OutlookServers, InvokeAnswersSuccessToEverythingOutlookSends) {
    TExplorer explorer;
    std::vector<std::wstring> seen;
    explorer.OnBeforeFolderSwitch = [&](TExplorer&, IDispatch* folder, VARIANT_BOOL& cancel) {
        seen.push_back(name_of(folder));
        cancel = VARIANT_TRUE;
    };
    explorer.OnSelectionChange = [&](TExplorer&) { throw hresult_error(E_FAIL, "handler failed"); };
    const auto folder = host_object(L"NameSpace");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    event_params before_switch({dispatch_arg(folder.Get()), cancel_arg(cancel)});
    EXPECT_EQ(S_OK, deliver(explorer, TExplorer::kBeforeFolderSwitch, before_switch));
    EXPECT_EQ(std::vector<std::wstring>{L"1"}, seen);
    EXPECT_EQ(VARIANT_TRUE, cancel);

    event_params none({});
    EXPECT_EQ(S_OK, deliver(explorer, TExplorer::kSelectionChange, none));   // the handler threw
    EXPECT_EQ(S_OK, deliver(explorer, 0x1234, none));                         // unknown DISPID
    event_params cancel_missing({dispatch_arg(folder.Get())});
    EXPECT_EQ(S_OK, deliver(explorer, TExplorer::kBeforeFolderSwitch, cancel_missing));
    EXPECT_EQ(1u, seen.size());
}

TEST_F(OutlookServers, TheSinkAnswersIUnknownIDispatchAndItsEventInterfaceOnly) {
    TInspectors inspectors;
    IDispatch* sink = inspectors.EventSink();
    for (const IID& iid : {IID_IUnknown, IID_IDispatch, TInspectors::kServerData.EventIID}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(S_OK, sink->QueryInterface(iid, reinterpret_cast<void**>(answer.GetAddressOf())));
        EXPECT_EQ(static_cast<IUnknown*>(sink), answer.Get());
    }
    for (const IID& iid : {TExplorer::kServerData.EventIID, TInspectors::kServerData.IntfIID,
                           IID_IConnectionPointContainer}) {
        void* answer = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(iid, &answer));
        EXPECT_EQ(nullptr, answer);
    }
    UINT count = 0xdeadbeef;
    EXPECT_EQ(S_OK, sink->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(E_NOTIMPL, sink->GetTypeInfo(0, 0, &info));
    LPOLESTR name = const_cast<LPOLESTR>(L"NewInspector");
    DISPID id = 0;
    EXPECT_EQ(E_NOTIMPL, sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
}

TEST_F(OutlookServers, ConnectingMovesTheSubscriptionAndFreeingReleasesEveryHostReference) {
    int changes = 0;
    {
        int second = 0;
        ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &second));
        auto wrapper = std::make_unique<TExplorer>();
        wrapper->OnSelectionChange = [&](TExplorer&) { ++changes; };
        wrapper->ConnectTo(host_object(L"Explorer1").Get());
        EXPECT_EQ(1, wrapper->SinkReferences());   // the explorer's hold on the sink
        ComPtr<IDispatch> extra = wrapper->EventSink();
        EXPECT_EQ(2, wrapper->SinkReferences());
        extra.Reset();

        wrapper->ConnectTo(get_object(host_object(L"Explorers").Get(), L"Item", {variant(2)}).Get());
        const int item = 1;
        ASSERT_EQ(S_OK, mailhost_select(1, &item, 1));
        ASSERT_EQ(S_OK, mailhost_select(2, &item, 1));
        EXPECT_EQ(1, changes);
        EXPECT_EQ(1, wrapper->SinkReferences());

        wrapper->Disconnect();
        EXPECT_EQ(0u, wrapper->Cookie());
        EXPECT_EQ(nullptr, wrapper->DefaultInterface());
        EXPECT_EQ(0, wrapper->SinkReferences());
        wrapper->ConnectTo(host_object(L"Explorer1").Get());
        EXPECT_EQ(S_OK, mailhost_close_explorer(2));
    }
    expect_nothing_held();
}

TEST_F(OutlookServers, AnObjectThatRefusesTheAdviseLeavesTheWrapperSilentlyUnsubscribed) {
    for (const wchar_t* refused : {L"FindConnectionPoint", L"Advise"}) {
        SCOPED_TRACE(refused);
        int changes = 0;
        TExplorer explorer;
        explorer.OnSelectionChange = [&](TExplorer&) { ++changes; };
        mailhost_fail(L"Explorer", refused, E_FAIL, 1);
        explorer.ConnectTo(host_object(L"Explorer1").Get());
        EXPECT_EQ(0u, explorer.Cookie());
        EXPECT_NE(nullptr, explorer.DefaultInterface());
        const int item = 1;
        ASSERT_EQ(S_OK, mailhost_select(1, &item, 1));
        EXPECT_EQ(0, changes);
    }
}

TEST_F(OutlookServers, AWrapperWhoseUnadviseWasRefusedLeavesAnOrphanThatIgnoresEvents) {
    int changes = 0;
    auto explorer = std::make_unique<TExplorer>();
    explorer->OnSelectionChange = [&](TExplorer&) { ++changes; };
    explorer->ConnectTo(host_object(L"Explorer1").Get());
    const DWORD cookie = explorer->Cookie();
    mailhost_fail(L"Explorer", L"Unadvise", E_FAIL, 100);
    explorer->Disconnect();
    EXPECT_EQ(cookie, explorer->Cookie());
    explorer.reset();

    const int item = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &item, 1));   // still advised: reaches the orphan
    EXPECT_EQ(0, changes);
}

TEST_F(OutlookServers, AWrapperFreedInsideItsOwnEventKeepsItsSinkUntilInvokeReturns) {
    auto explorer = std::make_unique<TExplorer>();
    IDispatch* sink = explorer->EventSink();
    ULONG references_after_free = 0;
    explorer->OnClose = [&](TExplorer&) {
        explorer.reset();                       // unadvises: Outlook lets go of the sink
        sink->AddRef();
        references_after_free = sink->Release();
    };
    explorer->ConnectTo(host_object(L"Explorer1").Get());
    event_params none({});
    // Delivered the way a host that keeps no reference of its own during the call would.
    EXPECT_EQ(S_OK, sink->Invoke(TExplorer::kClose, IID_NULL, 0, DISPATCH_METHOD, &none.params, nullptr, nullptr,
                                 nullptr));
    EXPECT_EQ(nullptr, explorer);
    EXPECT_EQ(1u, references_after_free);   // only the delivery's own reference is left
    expect_nothing_held();
}

}  // namespace
}  // namespace flinter
