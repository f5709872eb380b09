// Binding MAPI32's entry points: not when the add-in library loads but at the
// first header retrieval; a 64-bit MAPI32 that exports undecorated names is
// still bound.
#include <gtest/gtest.h>

#include <string>

#include "analysis/header_retrieval.h"
#include "analysis/mapi_binding.h"
#include "fake_dispatch.h"
#include "store_message.h"

namespace flinter {
namespace {

std::wstring beside_this_test(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

TEST(MapiBinding, BoundAtTheFirstHeaderRetrievalNotWhenTheLibraryLoads) {
    ASSERT_EQ(::GetModuleHandleW(L"mapi32.dll"), nullptr) << "this test needs a process without MAPI32";
    const HMODULE addin = ::LoadLibraryW(beside_this_test(L"QAV_Flinter.dll").c_str());
    ASSERT_NE(addin, nullptr) << ::GetLastError();
    EXPECT_EQ(::GetModuleHandleW(L"mapi32.dll"), nullptr) << "loading a library under the loader lock can deadlock";
    ASSERT_TRUE(::FreeLibrary(addin));

    testing_support::store_message message("X-first: 1\r\n");
    testing::fake_dispatch item;
    item.property(L"Class", 43L);
    item.property(L"MAPIObject", message.get());
    EXPECT_EQ(GetHeader(variant(static_cast<IDispatch*>(&item)).get()), "X-first: 1\r\n");
    EXPECT_TRUE(mapi_binding::process().loaded()) << "bound by the retrieval";
    mapi_binding::process().release();
}

TEST(MapiBinding, BindsTheDecoratedNamesOfARealMapi32) {
    mapi_binding mapi;
    mapi.bind();
    ASSERT_TRUE(mapi.loaded());
    EXPECT_NE(mapi.entry("HrGetOneProp@12"), nullptr);
    EXPECT_NE(mapi.entry("MAPIFreeBuffer"), nullptr);
    EXPECT_NE(mapi.entry("MAPIAllocateBuffer"), nullptr);
    mapi.release();
    EXPECT_FALSE(mapi.loaded());
    EXPECT_EQ(mapi.HrGetOneProp(), nullptr);
}

TEST(MapiBinding, AMissingLibraryLeavesEveryEntryNull) {
    mapi_binding mapi;
    mapi.bind(L"no-such-mapi32.dll");
    EXPECT_FALSE(mapi.loaded());
    for (const auto name : mapi_binding::kExportNames) EXPECT_EQ(mapi.entry(name), nullptr) << name;
}

// fake_mapi64.dll exports HrGetOneProp and MAPIFreeBuffer undecorated only, as
// the 64-bit MAPI32 does. Its HrGetOneProp serves a fixed block or fails.
using set_failing_fn = void (*)(int);
using free_count_fn = int (*)();

TEST(MapiBinding, UndecoratedExportsAreFoundOnlyByTheX64Build) {
    mapi_binding mapi;
    mapi.bind(beside_this_test(L"fake_mapi64.dll").c_str());
    ASSERT_TRUE(mapi.loaded());
#ifdef _WIN64
    ASSERT_NE(mapi.HrGetOneProp(), nullptr);
    ASSERT_NE(mapi.MAPIFreeBuffer(), nullptr);
    const HMODULE fake = ::GetModuleHandleW(L"fake_mapi64.dll");
    const auto set_failing = reinterpret_cast<set_failing_fn>(::GetProcAddress(fake, "fake_set_failing"));
    const auto free_count = reinterpret_cast<free_count_fn>(::GetProcAddress(fake, "fake_free_count"));
    ASSERT_TRUE(set_failing && free_count);

    // The fake library does not call into the message, so any IMessage will do.
    testing_support::store_message message(std::nullopt);
    testing::fake_dispatch item;
    item.property(L"Class", 43L);
    item.property(L"MAPIObject", message.get());
    const variant selected(static_cast<IDispatch*>(&item));
    EXPECT_EQ(GetHeader(selected.get(), mapi), "X-pstn-levels: (S:1.0/2.0 )\r\n");
    EXPECT_EQ(free_count(), 1);
    set_failing(1);
    EXPECT_EQ(GetHeader(selected.get(), mapi), "");
    EXPECT_EQ(free_count(), 2) << "the buffer pointer goes back to MAPI even when the read failed";
#else
    // x86 looks names up exactly as listed: "HrGetOneProp@12" is absent here,
    // while "MAPIFreeBuffer" is listed undecorated and is found.
    EXPECT_EQ(mapi.HrGetOneProp(), nullptr);
    EXPECT_NE(mapi.MAPIFreeBuffer(), nullptr);
#endif
}

}  // namespace
}  // namespace flinter
