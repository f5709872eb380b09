// The boundary guard: every exception becomes an HRESULT with error information,
// and handle owners keep the caller's last-error code.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include <new>
#include <stdexcept>
#include <string>

#include "com/hresult_error.h"
#include "com/unique_res.h"

namespace flinter {
namespace {

HRESULT guarded(void (*body)()) noexcept try {
    body();
    return S_OK;
} catch (...) {
    return report_at_boundary();
}

std::wstring published_description() {
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, &info) != S_OK) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    unique_bstr owner(text);
    return text ? text : L"";
}

TEST(Boundary, ExceptionsBecomeHresultsWithErrorInformation) {
    EXPECT_EQ(guarded([] {}), S_OK);
    EXPECT_EQ(guarded([] { throw hresult_error(E_ACCESSDENIED, "settings.ini is read-only"); }), E_ACCESSDENIED);
    EXPECT_NE(published_description().find(L"settings.ini is read-only"), std::wstring::npos);
    EXPECT_EQ(guarded([] { throw std::runtime_error("boom"); }), E_FAIL);
    EXPECT_NE(published_description().find(L"boom"), std::wstring::npos);
    EXPECT_EQ(guarded([] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(guarded([] { throw 42; }), E_UNEXPECTED);
}

// The system's own text for a code, as the user would read it.
std::string system_text(HRESULT code) {
    char text[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string result(text, n);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result;
}

// A failure raised without words of its own reads as the system's text for its code.
TEST(Boundary, CheckThrowsOnlyOnFailure) {
    EXPECT_EQ(check(S_FALSE), S_FALSE);
    EXPECT_THROW(check(E_NOINTERFACE), hresult_error);
    try {
        check(E_ACCESSDENIED);
        FAIL();
    } catch (const hresult_error& e) {
        ASSERT_NE("", system_text(E_ACCESSDENIED));
        EXPECT_EQ(system_text(E_ACCESSDENIED), e.what());
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        check_win32(FALSE);
        FAIL();
    } catch (const hresult_error& e) {
        EXPECT_EQ(e.code(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        ASSERT_NE("", system_text(e.code()));
        EXPECT_EQ(system_text(e.code()), e.what());
    }
}

TEST(UniqueRes, ResetClosesOnceAndKeepsLastError) {
    unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const HANDLE raw = event.get();
    unique_handle moved(std::move(event));
    EXPECT_FALSE(event);
    ::SetLastError(ERROR_ACCESS_DENIED);
    moved.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));   // really closed
}

}  // namespace
}  // namespace flinter
