#include "com/hresult_error.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <new>

#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "product.h"

namespace flinter {
namespace {

// The system's text for code, or the code itself when the system has none.
std::string system_text(HRESULT code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring wide = n != 0 && text ? std::wstring(text, n) : std::wstring();
    if (text) ::LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) wide.pop_back();
    if (!wide.empty()) return narrow(wide.c_str());
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "Error 0x%08lX", static_cast<unsigned long>(code));
    return fallback;
}

// The code and the place are for whoever debugs the add-in; the user is shown the message only.
void trace_failure(HRESULT code, const char* message, const std::source_location& where) noexcept try {
    char code_text[32];
    std::snprintf(code_text, sizeof code_text, "0x%08lX", static_cast<unsigned long>(code));
    const std::string line = std::string("QAV_Flinter: ") + code_text + " at " + where.function_name() + " (" +
                             where.file_name() + ":" + std::to_string(where.line()) + "): " + message + "\n";
    ::OutputDebugStringA(line.c_str());
} catch (...) {
    // Tracing is a courtesy; a failure to trace changes nothing.
}

void publish_error_info(REFIID iid, const wchar_t* source, const std::string& text) noexcept try {
    Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(&create))) return;
    const std::wstring wide = widen(text);
    create->SetGUID(iid);
    create->SetDescription(const_cast<LPOLESTR>(wide.c_str()));
    create->SetSource(const_cast<LPOLESTR>(source ? source : kProductCaptionW));
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
} catch (...) {
    // Error information is a courtesy; failing to publish it changes nothing.
}

}  // namespace

hresult_error::hresult_error(HRESULT code, std::string message, std::source_location where)
    : std::runtime_error(message.empty() ? system_text(code) : std::move(message)), code_(code) {
    trace_failure(code_, what(), where);
}

HRESULT check(HRESULT hr, std::source_location where) {
    if (FAILED(hr)) throw hresult_error(hr, {}, where);
    return hr;
}

void check_win32(BOOL ok, std::source_location where) {
    if (ok) return;
    const DWORD error = ::GetLastError();
    throw hresult_error(HRESULT_FROM_WIN32(error == 0 ? ERROR_GEN_FAILURE : error), {}, where);
}

HRESULT report_at_boundary(REFIID iid, const wchar_t* source, HRESULT fallback) noexcept {
    const auto answer = [&](const char* text, HRESULT code) {
        publish_error_info(iid, source, text);
        return code;
    };
    try {
        throw;
    } catch (const hresult_error& e) {
        return answer(e.what(), FAILED(e.code()) ? e.code() : fallback);
    } catch (const std::bad_alloc&) {
        return answer("out of memory", E_OUTOFMEMORY);
    } catch (const std::exception& e) {
        return answer(e.what(), fallback);
    } catch (...) {
        return answer("unknown exception", E_UNEXPECTED);
    }
}

void log_at_boundary(const char* where) noexcept {
    try {
        std::string text = "QAV_Flinter: ";
        text += where;
        text += ": ";
        try {
            throw;
        } catch (const std::exception& e) {
            text += e.what();
        } catch (...) {
            text += "unknown exception";
        }
        text += '\n';
        ::OutputDebugStringA(text.c_str());
    } catch (...) {
        ::OutputDebugStringA("QAV_Flinter: an exception was dropped at a boundary\n");
    }
}

unique_bstr make_bstr(const wchar_t* text) {
    unique_bstr result(::SysAllocString(text ? text : L""));
    if (!result) throw std::bad_alloc();
    return result;
}

}  // namespace flinter
