// The simulated Outlook.Application registered in the test prefix: created by
// ProgID, found in the running-object table while it runs, told to quit.
#include <gtest/gtest.h>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "outlook_ids.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using Microsoft::WRL::ComPtr;

namespace {

const GUID CLSID_OutlookApplication = flinter::testing_support::outlook::CLSID_Application;

class Registration : public flinter::testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        ASSERT_EQ(S_OK, mailhost_register());
    }
};

TEST_F(Registration, TheProgIdNamesOutlooksClass) {
    CLSID clsid{};
    ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"Outlook.Application", &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_OutlookApplication, clsid));
}

TEST_F(Registration, CoCreateInstanceStartsOutlookAndQuitEndsIt) {
    ASSERT_FALSE(mailhost_running());
    ComPtr<IDispatch> app;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_OutlookApplication, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                       IID_PPV_ARGS(&app)));
    EXPECT_TRUE(mailhost_running());
    ComPtr<IDispatch> second;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_OutlookApplication, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&second)));
    EXPECT_EQ(app.Get(), second.Get());   // Outlook runs once
    flinter::call(app.Get(), L"Quit");
    EXPECT_FALSE(mailhost_running());
}

TEST_F(Registration, GetActiveObjectFindsTheRunningOutlook) {
    start({.register_running = true});
    ComPtr<IUnknown> running;
    ASSERT_EQ(S_OK, ::GetActiveObject(CLSID_OutlookApplication, nullptr, &running));
    ComPtr<IDispatch> app;
    ASSERT_EQ(S_OK, running.As(&app));
    EXPECT_EQ(L"Outlook", flinter::get(app.Get(), L"Name").as_wstring());
    app.Reset();
    running.Reset();
    outlook().quit();
    EXPECT_NE(S_OK, ::GetActiveObject(CLSID_OutlookApplication, nullptr, &running));
}

TEST_F(Registration, TheClassFactoryAndTheRunningObjectTableCanBeMadeToFail) {
    start({.register_running = true});
    ComPtr<IDispatch> app;
    ASSERT_EQ(S_OK, mailhost_fail(L"ClassFactory", L"CreateInstance", E_OUTOFMEMORY, 1));
    EXPECT_EQ(E_OUTOFMEMORY, ::CoCreateInstance(CLSID_OutlookApplication, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&app)));
    EXPECT_EQ(S_OK, ::CoCreateInstance(CLSID_OutlookApplication, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&app)));
    ComPtr<IUnknown> running;
    ASSERT_EQ(S_OK, ::GetActiveObject(CLSID_OutlookApplication, nullptr, &running));
    running.Reset();
    ASSERT_EQ(S_OK, mailhost_fail(L"Application", L"GetActiveObject", MK_E_UNAVAILABLE, 1));
    EXPECT_EQ(MK_E_UNAVAILABLE, ::GetActiveObject(CLSID_OutlookApplication, nullptr, &running));
}

}  // namespace
