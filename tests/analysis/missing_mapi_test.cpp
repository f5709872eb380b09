// Runs with MAPI32.DLL disabled: the add-in still loads, and a header read
// fails with an error instead of crashing.
#include <gtest/gtest.h>

#include "analysis/header_retrieval.h"
#include "com/hresult_error.h"
#include "fake_dispatch.h"
#include "store_message.h"

namespace flinter {
namespace {

TEST(MissingMapi, TheAddInLoadsAndHeaderReadsFailCleanly) {
    const HMODULE addin = ::LoadLibraryW(L"QAV_Flinter.dll");
    ASSERT_NE(addin, nullptr) << ::GetLastError();

    mapi_binding mapi;
    mapi.bind();
    ASSERT_FALSE(mapi.loaded()) << "MAPI32 should be disabled for this test";

    testing_support::store_message message("X-pstn-levels: (S:1/2 )\r\n");
    testing::fake_dispatch item;
    item.property(L"Class", 43L);
    item.property(L"MAPIObject", message.get());
    EXPECT_THROW(GetHeader(variant(static_cast<IDispatch*>(&item)).get(), mapi), hresult_error);
    EXPECT_EQ(message.references(), 1u);

    testing::fake_dispatch contact;
    contact.property(L"Class", 40L);
    EXPECT_EQ(GetHeader(variant(static_cast<IDispatch*>(&contact)).get(), mapi), "");
    EXPECT_TRUE(::FreeLibrary(addin));
}

}  // namespace
}  // namespace flinter
