// Fault injection, the call log and the reference audit.
#include <gtest/gtest.h>

#include "failure_of.h"

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "outlook_ids.h"
#include "recording_sink.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::get;
using flinter::get_object;
using flinter::variant;
using Microsoft::WRL::ComPtr;

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
