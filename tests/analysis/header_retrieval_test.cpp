// Header retrieval through Wine's real MAPI32.DLL, against an in-test mail item
// and a message of the simulated Outlook's store.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <optional>
#include <string>

#include "analysis/header_retrieval.h"
#include "com/hresult_error.h"
#include "fake_dispatch.h"
#include "store_message.h"

namespace flinter {
namespace {

using testing::fake_dispatch;
using testing_support::store_message;

// A mail item answering "Class" and "MAPIObject", as the host's selection hands it out.
struct mail_item {
    store_message message;
    fake_dispatch item;
    int mapi_object_reads = 0;

    mail_item(LONG item_class, std::optional<std::string> headers) : message(std::move(headers)) {
        item.property(L"Class", item_class);
        item.on(L"MAPIObject", [this](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
            ++mapi_object_reads;
            result->vt = VT_UNKNOWN;
            result->punkVal = message.get();
            message.get()->AddRef();
            return S_OK;
        });
    }
    variant as_variant() { return variant(static_cast<IDispatch*>(&item)); }
};

struct recording_sink : header_text_sink {
    std::string shown = "untouched";
    int calls = 0;
    void show_header_text(std::string_view header) override {
        shown.assign(header);
        ++calls;
    }
};

class HeaderRetrieval : public ::testing::Test {
protected:
    void SetUp() override {
        mapi.bind();
        ASSERT_TRUE(mapi.loaded()) << "Wine's MAPI32.DLL did not load";
        ASSERT_NE(mapi.HrGetOneProp(), nullptr);
        ASSERT_NE(mapi.MAPIFreeBuffer(), nullptr);
    }
    mapi_binding mapi;
};

const std::string kServiceHeaders =
    "Received: from exprod7mx101.postini.com (exprod7mx101.postini.com [64.18.2.1])\r\n"
    "X-pstn-levels: (S:12.50000/99.90000 CV:99.9000 R:95.9108 P:95.9108 M:97.0232 C:98.7678 )\r\n"
    "X-pstn-settings: 3 (0.5000:20.0000) s cv r p m c LC ft\r\n"
    "X-pstn-addr: good (user approved)\r\n";

TEST_F(HeaderRetrieval, MailAndRemoteItemsYieldTheStoredBlock) {
    for (LONG item_class : {43L, 47L}) {
        mail_item mail(item_class, kServiceHeaders);
        EXPECT_EQ(GetHeader(mail.as_variant().get(), mapi), kServiceHeaders) << "class " << item_class;
        EXPECT_EQ(mail.message.get_props_calls(), 1);
        EXPECT_EQ(mail.message.references(), 1u) << "IMessage not released";
        EXPECT_EQ(mail.item.ref_count(), 0u) << "item not released";
    }
}

TEST_F(HeaderRetrieval, BytesAndLineEndsComeBackUnchanged) {
    const std::string stored = "Subject: caf\xE9 \xFF\x80\x01\n"
                               "X-pstn-levels: (S:1.0/2.0 )\n"
                               "Received: by host\r";
    mail_item mail(43, stored);
    EXPECT_EQ(GetHeader(mail.as_variant().get(), mapi), stored);
}

TEST_F(HeaderRetrieval, OtherItemClassesGiveNothingWithoutTouchingMapi) {
    for (LONG item_class : {40L /* contact */, 26L /* appointment */, 53L /* meeting request */, 0L}) {
        mail_item other(item_class, kServiceHeaders);
        EXPECT_EQ(GetHeader(other.as_variant().get(), mapi), "");
        EXPECT_EQ(other.mapi_object_reads, 0);
    }
}

TEST_F(HeaderRetrieval, AMessageWithoutHeadersOrWithoutIMessageGivesNothing) {
    mail_item unsent(43, std::nullopt);
    EXPECT_EQ(GetHeader(unsent.as_variant().get(), mapi), "");
    EXPECT_EQ(unsent.message.references(), 1u);

    fake_dispatch not_a_message;   // answers IDispatch only
    fake_dispatch item;
    item.property(L"Class", 43L);
    item.property(L"MAPIObject", static_cast<IUnknown*>(&not_a_message));
    EXPECT_EQ(GetHeader(variant(static_cast<IDispatch*>(&item)).get(), mapi), "");
    EXPECT_EQ(not_a_message.ref_count(), 0u);
}

// A store that fails the read says nothing about the headers: reading the
// failure as "no headers" would give a wrong verdict and a report without them.
TEST_F(HeaderRetrieval, AReadTheStoreFailsRaisesAndReleasesTheMessage) {
    mail_item mail(43, kServiceHeaders);
    ASSERT_EQ(S_OK, mailhost_fail(L"IMessage", L"GetProps", MAPI_E_CALL_FAILED, 1));
    try {
        GetHeader(mail.as_variant().get(), mapi);
        FAIL() << "expected an error";
    } catch (const hresult_error& e) {
        EXPECT_EQ(MAPI_E_CALL_FAILED, e.code());
    }
    EXPECT_EQ(mail.message.references(), 1u);
    EXPECT_EQ(GetHeader(mail.as_variant().get(), mapi), kServiceHeaders) << "the next read succeeds";
}

TEST_F(HeaderRetrieval, MissingMembersRaiseForTheCallerToCatch) {
    fake_dispatch no_class;
    no_class.property(L"MAPIObject", static_cast<IUnknown*>(nullptr));
    EXPECT_THROW(GetHeader(variant(static_cast<IDispatch*>(&no_class)).get(), mapi), hresult_error);

    fake_dispatch no_mapi_object;
    no_mapi_object.property(L"Class", 43L);
    EXPECT_THROW(GetHeader(variant(static_cast<IDispatch*>(&no_mapi_object)).get(), mapi), hresult_error);

    EXPECT_THROW(GetHeader(variant().get(), mapi), hresult_error);
}

TEST_F(HeaderRetrieval, AnUnboundLibraryRaisesAndReleasesTheMessage) {
    mapi_binding unbound;
    mail_item mail(43, kServiceHeaders);
    try {
        GetHeader(mail.as_variant().get(), unbound);
        FAIL() << "expected an error";
    } catch (const hresult_error& e) {
        EXPECT_NE(std::string(e.what()).find("MAPI32"), std::string::npos);
    }
    EXPECT_EQ(mail.message.references(), 1u);
}

TEST_F(HeaderRetrieval, EachRetrievalReplacesTheRawHeaderText) {
    recording_sink sink;
    mail_item first(43, "X-first: 1\r\n");
    mail_item second(43, "X-second: 2\r\n");
    mail_item contact(40, "X-ignored: 3\r\n");
    EXPECT_EQ(GetMessageHeader(first.as_variant().get(), &sink, mapi), "X-first: 1\r\n");
    EXPECT_EQ(GetMessageHeader(second.as_variant().get(), &sink, mapi), "X-second: 2\r\n");
    EXPECT_EQ(sink.shown, "X-second: 2\r\n");
    EXPECT_EQ(GetMessageHeader(contact.as_variant().get(), &sink, mapi), "");
    EXPECT_EQ(sink.shown, "");
    EXPECT_EQ(sink.calls, 3);
}

SIZE_T private_bytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters);
    return counters.PrivateUsage;
}

// Each retrieval hands the property buffer back to MAPI: 4000 retrievals of a
// 64 KiB block would keep 250 MiB if one buffer were lost.
TEST_F(HeaderRetrieval, PropertyBuffersAreFreed) {
    mail_item mail(43, std::string(64 * 1024, 'x'));
    const variant item = mail.as_variant();
    GetHeader(item.get(), mapi);
    const SIZE_T before = private_bytes();
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(GetHeader(item.get(), mapi).size(), 64u * 1024);
    EXPECT_LT(private_bytes(), before + 32 * 1024 * 1024);
}

}  // namespace
}  // namespace flinter
