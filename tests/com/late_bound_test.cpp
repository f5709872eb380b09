// The late-binding helper against a recording IDispatch: argument order,
// property puts, by-reference write-back, the host's errors and references.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "fake_dispatch.h"

namespace flinter {
namespace {

using testing::fake_dispatch;

std::wstring text_of(const variant& v) { return v.as_wstring(); }

TEST(LateBound, ArgumentsReachTheCalleeLastFirst) {
    fake_dispatch host;
    host.on(L"Item", [](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
        result->vt = VT_I4;
        result->lVal = 7;
        return S_OK;
    });
    const variant value = get(&host, L"item", {variant(1), variant(L"second"), variant::missing()});

    EXPECT_EQ(value.as_int(), 7);
    ASSERT_EQ(host.calls().size(), 1u);
    const auto& call = host.calls()[0];
    ASSERT_EQ(call.args.size(), 3u);
    EXPECT_EQ(call.args[0].type(), VT_ERROR);
    EXPECT_EQ(call.args[0].get().scode, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(text_of(call.args[1]), L"second");
    EXPECT_EQ(call.args[2].as_int(), 1);
    EXPECT_TRUE(call.named_args.empty());
    EXPECT_TRUE(call.flags & DISPATCH_PROPERTYGET);
}

TEST(LateBound, PutPassesTheValueAsTheNamedPropertyPutArgument) {
    fake_dispatch host;
    host.on(L"Subject", [](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
        return result ? E_INVALIDARG : S_OK;   // a put asks for no result
    });
    put(&host, L"Subject", variant(L"[*SPAM*] hello"));

    ASSERT_EQ(host.calls().size(), 1u);
    const auto& call = host.calls()[0];
    EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
    ASSERT_EQ(call.named_args, std::vector<DISPID>{DISPID_PROPERTYPUT});
    ASSERT_EQ(call.args.size(), 1u);
    EXPECT_EQ(text_of(call.args[0]), L"[*SPAM*] hello");
}

TEST(LateBound, ByReferenceArgumentsAreWrittenBack) {
    fake_dispatch host;
    host.on(L"BeforeFolderSwitch", [](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
        VARIANT& cancel = params.rgvarg[0];   // the last argument comes first
        if (cancel.vt != (VT_BYREF | VT_VARIANT)) return DISP_E_TYPEMISMATCH;
        ::VariantClear(cancel.pvarVal);
        cancel.pvarVal->vt = VT_BOOL;
        cancel.pvarVal->boolVal = VARIANT_TRUE;
        return S_OK;
    });
    variant cancel(false);
    call(&host, L"BeforeFolderSwitch", {variant(L"folder"), variant::by_ref(cancel.get())});
    EXPECT_TRUE(cancel.as_bool());
}

TEST(LateBound, UnknownMemberNamesTheMember) {
    fake_dispatch host;
    try {
        get(&host, L"MAPIObject");
        FAIL() << "expected an error";
    } catch (const hresult_error& e) {
        EXPECT_EQ(e.code(), DISP_E_UNKNOWNNAME);
        EXPECT_NE(std::string(e.what()).find("MAPIObject"), std::string::npos);
    }
}

HRESULT STDAPICALLTYPE fill_in_later(EXCEPINFO* info) {
    info->bstrDescription = ::SysAllocString(L"The operation failed.");
    info->scode = E_ACCESSDENIED;
    return S_OK;
}

TEST(LateBound, HostExceptionCarriesItsCodeAndMessage) {
    fake_dispatch host;
    host.on(L"Send", [](DISPPARAMS&, VARIANT*, EXCEPINFO* exception) {
        exception->bstrSource = ::SysAllocString(L"Outlook");
        exception->pfnDeferredFillIn = &fill_in_later;
        return DISP_E_EXCEPTION;
    });
    host.on(L"Delete", [](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return E_ABORT; });

    try {
        call(&host, L"Send");
        FAIL() << "expected an error";
    } catch (const hresult_error& e) {
        EXPECT_EQ(e.code(), E_ACCESSDENIED);
        EXPECT_NE(std::string(e.what()).find("Send: The operation failed."), std::string::npos);
    }
    try {
        call(&host, L"Delete");
        FAIL() << "expected an error";
    } catch (const hresult_error& e) {
        EXPECT_EQ(e.code(), E_ABORT);
    }
}

TEST(LateBound, ObjectsTakenFromTheHostAreReleased) {
    fake_dispatch explorer;
    fake_dispatch app;
    app.property(L"ActiveExplorer", &explorer);
    app.on(L"ActiveInspector", [](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return S_OK; });
    {
        const auto active = get_object(&app, L"ActiveExplorer");
        EXPECT_EQ(active.Get(), static_cast<IDispatch*>(&explorer));
        EXPECT_GT(explorer.ref_count(), 0u);
    }
    EXPECT_EQ(explorer.ref_count(), 0u);
    EXPECT_THROW(get_object(&app, L"ActiveInspector"), hresult_error);
    EXPECT_THROW(get(nullptr, L"Count"), hresult_error);
}

TEST(LateBound, VariantConversionsFollowAutomationRules) {
    EXPECT_EQ(variant(L"43").as_int(), 43);
    EXPECT_EQ(variant(43).as_wstring(), L"43");
    EXPECT_THROW(variant(L"forty-three").as_int(), hresult_error);
    EXPECT_EQ(variant().as_unknown(), nullptr);
    EXPECT_THROW(variant(5).as_unknown(), hresult_error);
}

}  // namespace
}  // namespace flinter
