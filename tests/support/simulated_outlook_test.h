// The base of the tests that run against the simulated Outlook: a
// single-threaded apartment for each test, and an Outlook started on request
// and shut down when the test ends. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <memory>

#include "mailhost/simulated_outlook.h"

namespace flinter::testing_support {

class simulated_outlook_test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr))); }
    void TearDown() override {
        outlook_.reset();
        ::CoUninitialize();
    }

    // Starts Outlook with these settings; its Application object.
    IDispatch* start(const mailhost::outlook_settings& settings = {}) {
        outlook_.reset();   // its end would quit the new one
        outlook_ = std::make_unique<mailhost::simulated_outlook>(settings);
        return outlook_->application();
    }
    IDispatch* application() const { return outlook_->application(); }
    mailhost::simulated_outlook& outlook() { return *outlook_; }

private:
    std::unique_ptr<mailhost::simulated_outlook> outlook_;
};

}  // namespace flinter::testing_support
