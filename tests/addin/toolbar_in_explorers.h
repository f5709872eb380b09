// The add-in's toolbar as the tests find it in the simulated Outlook's
// explorer windows: its name, its buttons' tags, and the bars of a window.
// Test thread only; the late-bound calls throw hresult_error.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "com/late_bound.h"

namespace addin_testing {

inline constexpr wchar_t kToolbar[] = L"QAV_Flinter";
inline constexpr wchar_t kSpamTag[] = L"{DE50E6B0-F7A3-4766-B347-9738F276A5DB}";
inline constexpr wchar_t kSettingsTag[] = L"{6470BA4F-A064-4831-8683-3EE6B23DCD52}";
inline constexpr wchar_t kAnalyzerTag[] = L"{9EF8F00C-4864-4380-89E3-8E624638A221}";
inline constexpr wchar_t kLoginTag[] = L"{F63228A1-172A-41AA-8F7F-D8D4DEE1E5EE}";

// The CommandBars of explorer window number explorer (1-based).
inline Microsoft::WRL::ComPtr<IDispatch> command_bars_of(IDispatch* application, int explorer) {
    using flinter::get_object;
    const auto window = get_object(get_object(application, L"Explorers").Get(), L"Item", {flinter::variant(explorer)});
    return get_object(window.Get(), L"CommandBars");
}

// The bars of that window with this Name.
inline std::vector<Microsoft::WRL::ComPtr<IDispatch>> bars_named(IDispatch* application, int explorer,
                                                                 const std::wstring& name) {
    using flinter::get;
    std::vector<Microsoft::WRL::ComPtr<IDispatch>> found;
    const auto bars = command_bars_of(application, explorer);
    for (int i = 1, n = get(bars.Get(), L"Count").as_int(); i <= n; ++i) {
        auto bar = flinter::get_object(bars.Get(), L"Item", {flinter::variant(i)});
        if (get(bar.Get(), L"Name").as_wstring() == name) found.push_back(bar);
    }
    return found;
}

}  // namespace addin_testing
