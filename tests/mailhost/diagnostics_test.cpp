// Fault injection, the call log and the reference audit.
#include <gtest/gtest.h>

#include <functional>

#include "failure_of.h"

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "outlook_ids.h"
#include "recording_sink.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using Microsoft::WRL::ComPtr;
using mailhost::simulated_outlook;

namespace {

using flinter::testing_support::failure_of;
using flinter::testing_support::outlook::DIID_ExplorerEvents;

class Diagnostics : public flinter::testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        start({.mailbox = MAILHOST_SAMPLES, .explorers = 1});
        mailhost_clear_call_log();
    }
};

TEST_F(Diagnostics, AnInjectedFaultHitsTheNextCallsOnly) {
    IDispatch* app = application();
    auto explorer = get_object(app, L"ActiveExplorer");
    mailhost_fail(L"Explorer", L"Selection", E_ACCESSDENIED, 2);
    EXPECT_EQ(E_ACCESSDENIED, failure_of([&] { get(explorer.Get(), L"Selection"); }));
    EXPECT_EQ(E_ACCESSDENIED, failure_of([&] { get(explorer.Get(), L"selection"); }));
    EXPECT_EQ(S_OK, failure_of([&] { get(explorer.Get(), L"Selection"); }));
    EXPECT_EQ(S_OK, failure_of([&] { get(explorer.Get(), L"CurrentFolder"); }));
}

// The add-in's late binding reads the code of a host failure from the EXCEPINFO.
TEST_F(Diagnostics, AnInjectedFailureComesBackAsOutlooksDoWithTheScodeAndAText) {
    auto explorer = get_object(application(), L"ActiveExplorer");
    ASSERT_EQ(S_OK, mailhost_fail(L"Explorer", L"Selection", E_ACCESSDENIED, 1));
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Selection");
    ASSERT_EQ(S_OK, explorer->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    DISPPARAMS none{};
    variant result;
    flinter::owned_excepinfo exception;
    EXPECT_EQ(DISP_E_EXCEPTION,
              explorer->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.put(), &exception.info, nullptr));
    EXPECT_EQ(E_ACCESSDENIED, exception.info.scode);
    ASSERT_NE(nullptr, exception.info.bstrDescription);
    EXPECT_GT(::SysStringLen(exception.info.bstrDescription), 0u);
}

TEST_F(Diagnostics, AFaultAimedAtOneObjectSparesItsSiblings) {
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, nullptr));
    auto explorers = get_object(application(), L"Explorers");
    auto first = get_object(explorers.Get(), L"Item", {variant(1)});
    auto second = get_object(explorers.Get(), L"Item", {variant(2)});
    auto bar = get_object(get_object(first.Get(), L"CommandBars").Get(), L"Add", {variant(L"Tools")});
    auto button = [&](const wchar_t* tag) {
        auto added = get_object(get_object(bar.Get(), L"Controls").Get(), L"Add", {variant(1)});
        put(added.Get(), L"Tag", variant(tag));
        return added;
    };
    auto spared_button = button(L"a"), hit_button = button(L"b");
    auto property = [](const wchar_t* name) {
        return [name](IDispatch* object) { return failure_of([&] { get(object, name); }); };
    };
    const struct {
        const wchar_t* target;
        const wchar_t* member;
        std::function<HRESULT(IDispatch*)> probe;
        IDispatch* hit;
        IDispatch* spared;
    } cases[] = {
        {L"Explorer2", L"Selection", property(L"Selection"), second.Get(), first.Get()},
        {L"CommandBarButton[b]", L"Caption", property(L"Caption"), hit_button.Get(), spared_button.Get()},
        {L"Explorer2", L"QueryInterface",
         [](IDispatch* object) {
             ComPtr<IUnknown> typed;
             return object->QueryInterface(flinter::testing_support::outlook::IID_Explorer, &typed);
         },
         second.Get(), first.Get()},
        {L"Explorer2", L"GetIDsOfNames",
         [](IDispatch* object) {
             DISPID id = 0;
             LPOLESTR name = const_cast<LPOLESTR>(L"Caption");
             return object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
         },
         second.Get(), first.Get()},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, mailhost_fail(c.target, c.member, E_ACCESSDENIED, 1));
        EXPECT_EQ(S_OK, c.probe(c.spared)) << c.target << L"." << c.member;
        EXPECT_EQ(E_ACCESSDENIED, c.probe(c.hit)) << c.target << L"." << c.member;
        EXPECT_EQ(S_OK, c.probe(c.hit)) << c.target << L"." << c.member;
    }
}

// What a fault-injection sweep stands on: the census names every point a fault
// can strike with its calls, and a fault aimed past the first call strikes there.
TEST_F(Diagnostics, TheCensusCountsWhereFaultsCanStrikeAndAFaultCanWaitForItsCall) {
    auto explorer = get_object(application(), L"ActiveExplorer");
    mailhost_record_members(TRUE);
    for (int i = 0; i < 3; ++i) get(explorer.Get(), L"selection");
    ComPtr<IUnknown> typed;
    explorer->QueryInterface(flinter::testing_support::outlook::IID_Explorer, &typed);
    mailhost_record_members(FALSE);
    get(explorer.Get(), L"CurrentFolder");   // after the census
    EXPECT_EQ(L"Explorer.GetIDsOfNames 3\nExplorer.Selection 3\nExplorer.QueryInterface 1\n",
              simulated_outlook::take(mailhost_recorded_members()));

    ASSERT_EQ(S_OK, mailhost_fail_after(L"Explorer", L"Selection", E_ACCESSDENIED, 1, 1));
    EXPECT_EQ(S_OK, failure_of([&] { get(explorer.Get(), L"Selection"); }));
    EXPECT_EQ(E_ACCESSDENIED, failure_of([&] { get(explorer.Get(), L"Selection"); }));
    EXPECT_EQ(S_OK, failure_of([&] { get(explorer.Get(), L"Selection"); }));
    EXPECT_EQ(1, mailhost_injected_failures());
}

TEST_F(Diagnostics, AStartForgetsWhatTheLastTestLeftBehind) {
    mailhost_fail(L"Explorer", L"*", E_FAIL, 100);   // armed, never used
    outlook().quit();
    start({.mailbox = MAILHOST_SAMPLES, .explorers = 1});
    EXPECT_EQ(S_OK, failure_of([&] { get(get_object(application(), L"ActiveExplorer").Get(), L"Selection"); }));
    EXPECT_EQ(std::wstring::npos, simulated_outlook::call_log().find(L"quit"));
}

TEST_F(Diagnostics, AnOverReleaseIsReportedAndFindsTheObjectStillInMemory) {
    const long baseline = mailhost_outstanding_ref_count();
    IDispatch* selection = get_object(get_object(application(), L"ActiveExplorer").Get(), L"Selection").Detach();
    EXPECT_EQ(0u, selection->Release());   // the last reference
    EXPECT_EQ(0u, selection->Release());   // one too many
    EXPECT_EQ(baseline + 1, mailhost_outstanding_ref_count());
    EXPECT_NE(std::wstring::npos, simulated_outlook::outstanding_refs().find(L"over-released 1"));
    EXPECT_NE(std::wstring::npos, simulated_outlook::call_log().find(L"over-release Selection#"));
    outlook().quit();
    start({.mailbox = MAILHOST_SAMPLES, .explorers = 1});
    EXPECT_EQ(std::wstring::npos, simulated_outlook::outstanding_refs().find(L"over-released"));
}

TEST_F(Diagnostics, ASinkLeftAdvisedIsStillReportedAfterQuit) {
    mailhost::testing::recording_sink forgotten(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, forgotten.advise(get_object(application(), L"ActiveExplorer").Get()));
    EXPECT_EQ(1, mailhost_advised_sink_count());
    EXPECT_EQ(0u, simulated_outlook::advised_sinks().find(L"Explorer#"));
    outlook().quit();
    EXPECT_EQ(1, mailhost_advised_sink_count());
    EXPECT_EQ(0u, forgotten.refs());   // the ended Outlook let go of it
}

TEST_F(Diagnostics, AdviseCanBeMadeToFail) {
    mailhost::testing::recording_sink sink(DIID_ExplorerEvents);
    mailhost_fail(L"Explorer", L"Advise", E_OUTOFMEMORY, 1);
    EXPECT_EQ(E_OUTOFMEMORY, sink.advise(get_object(application(), L"ActiveExplorer").Get()));
    EXPECT_EQ(0u, sink.refs());
}

TEST_F(Diagnostics, TheCallLogNamesObjectAndMember) {
    auto explorer = get_object(application(), L"activeexplorer");
    flinter::put(explorer.Get(), L"CurrentView", variant(L"Compact"));
    EXPECT_EQ(L"Application.ActiveExplorer\nExplorer.CurrentView=\n", mailhost::simulated_outlook::call_log());
}

TEST_F(Diagnostics, TheAuditCountsReferencesUntilTheyAreReleased) {
    const long baseline = mailhost_outstanding_ref_count();
    ComPtr<IDispatch> selection;
    {
        auto explorer = get_object(application(), L"ActiveExplorer");
        selection = get_object(explorer.Get(), L"Selection");
        EXPECT_EQ(baseline + 2, mailhost_outstanding_ref_count());
    }
    EXPECT_NE(std::wstring::npos, mailhost::simulated_outlook::outstanding_refs().find(L"Selection#"));
    selection.Reset();
    EXPECT_EQ(baseline, mailhost_outstanding_ref_count());
}

TEST_F(Diagnostics, AdviseAndUnadviseLeaveNoReferenceBehind) {
    const long baseline = mailhost_outstanding_ref_count();
    mailhost::testing::recording_sink sink(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, sink.advise(get_object(application(), L"ActiveExplorer").Get()));
    EXPECT_EQ(1u, sink.refs());
    EXPECT_EQ(baseline + 1, mailhost_outstanding_ref_count());   // the explorer the subscription keeps
    EXPECT_EQ(S_OK, sink.unadvise());
    EXPECT_EQ(0u, sink.refs());
    EXPECT_EQ(baseline, mailhost_outstanding_ref_count());
}

TEST_F(Diagnostics, MapiObjectIsAuditedToo) {
    const int first = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &first, 1));
    auto item = get_object(get_object(get_object(application(), L"ActiveExplorer").Get(), L"Selection").Get(),
                           L"Item", {variant(1)});
    const long baseline = mailhost_outstanding_ref_count();
    ComPtr<IUnknown> message = get(item.Get(), L"MAPIObject").as_unknown();
    EXPECT_NE(std::wstring::npos, mailhost::simulated_outlook::outstanding_refs().find(L"IMessage#"));
    message.Reset();
    EXPECT_EQ(baseline, mailhost_outstanding_ref_count());
}

}  // namespace
