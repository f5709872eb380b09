// Prints figures, asserts nothing about speed: the add-in's start-up as
// Outlook times it, from CreateInstance to the end of OnStartupComplete,
// with the library (as it ships, stripped) loaded afresh for every load,
// against the simulated Outlook. Outlook disables add-ins whose start-up
// takes more than 1000 ms.
// Beside it, in turns, its floor: what the platform itself spends on what the
// start-up needs of it, loading the system libraries the add-in loaded and
// making the add-in's windows and controls as the add-in made them (classes,
// styles, places), empty, with nothing of the add-in. Then the start-up's
// steps one by one, each window made by the same code linked into this
// program beside its own floor. Registers the add-in in this flavour's view
// and removes it again.
#include <windows.h>
#include <psapi.h>
#include <wrl/client.h>
#include <addin.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "addin_test_support.h"
#include "analysis/message_info_window.h"
#include "analysis/raw_header_window.h"
#include "com/unique_res.h"
#include "mailhost/simulated_outlook.h"
#include "settings/about_box.h"
#include "settings/settings_window.h"

namespace {

using namespace addin_testing;
using Microsoft::WRL::ComPtr;

constexpr int kLoads = 25;
// Outlook flags an add-in whose start-up takes longer as slow.
constexpr double kOutlookLimitMs = 1000;
constexpr wchar_t kShippedLibrary[] = L"shipped\\QAV_Flinter.dll";

double now_ms() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double timed(const std::function<void()>& work) {
    const double start = now_ms();
    work();
    return now_ms() - start;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---- The floor: the platform's part of the start-up ----

struct control_shape {
    std::wstring class_name;
    DWORD style, ex_style;
    RECT place;   // in the parent's client coordinates
    int id;
};

struct window_shape {
    std::wstring class_name, caption;
    DWORD style, ex_style;
    RECT place;
    std::vector<control_shape> controls;
};

// What the add-in's start-up needs of the platform, as one start-up showed it.
struct platform_floor {
    std::vector<std::wstring> libraries;   // loaded by the start-up and let go with the add-in
    std::vector<window_shape> windows;
    std::size_t control_count() const {
        std::size_t n = 0;
        for (const auto& w : windows) n += w.controls.size();
        return n;
    }
    const window_shape* window(const std::wstring& class_name, const std::wstring& caption = L"") const {
        for (const auto& w : windows)
            if (w.class_name == class_name && (caption.empty() || w.caption == caption)) return &w;
        return nullptr;
    }
};

std::wstring class_of(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

BOOL CALLBACK note_control(HWND control, LPARAM shape_address) {
    auto& shape = *reinterpret_cast<window_shape*>(shape_address);
    const HWND parent = ::GetParent(control);
    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    shape.controls.push_back({class_of(control), static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE)),
                              static_cast<DWORD>(::GetWindowLongW(control, GWL_EXSTYLE)), place,
                              ::GetDlgCtrlID(control)});
    return TRUE;
}

struct window_search {
    HINSTANCE addin;
    std::vector<window_shape>* found;
};

BOOL CALLBACK note_window(HWND window, LPARAM search_address) {
    auto& search = *reinterpret_cast<window_search*>(search_address);
    if (reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)) != search.addin) return TRUE;
    wchar_t caption[256] = {};
    ::GetWindowTextW(window, caption, 256);
    window_shape shape{class_of(window), caption, static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)),
                       static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)), {}, {}};
    ::GetWindowRect(window, &shape.place);
    ::EnumChildWindows(window, &note_control, reinterpret_cast<LPARAM>(&shape));
    search.found->push_back(std::move(shape));
    return TRUE;
}

// The add-in's windows on this thread, as they stand.
std::vector<window_shape> addin_windows() {
    std::vector<window_shape> windows;
    window_search search{::GetModuleHandleW(L"QAV_Flinter.dll"), &windows};
    if (search.addin) ::EnumThreadWindows(::GetCurrentThreadId(), &note_window, reinterpret_cast<LPARAM>(&search));
    return windows;
}

constexpr wchar_t kFloorClass[] = L"startup_benchmark.floor";

void register_floor_class() {
    WNDCLASSEXW floor_class{};
    floor_class.cbSize = sizeof floor_class;
    floor_class.lpfnWndProc = &::DefWindowProcW;
    floor_class.hInstance = ::GetModuleHandleW(nullptr);
    floor_class.lpszClassName = kFloorClass;
    ::RegisterClassExW(&floor_class);
}

// A dialog template with the frame's styles (and font, when it names one)
// and no items.
std::vector<WORD> empty_dialog_template(const window_shape& shape) {
    std::vector<WORD> words = {LOWORD(shape.style), HIWORD(shape.style), LOWORD(shape.ex_style),
                               HIWORD(shape.ex_style), 0, 0, 0, 100, 100, 0, 0, 0};
    if (shape.style & DS_SETFONT) {
        words.push_back(8);
        for (const wchar_t* c = L"MS Sans Serif"; *c; ++c) words.push_back(*c);
        words.push_back(0);
    }
    return words;
}

INT_PTR CALLBACK floor_dialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The window and its controls, empty; the window is returned for destruction.
HWND make_floor_window(const window_shape& shape) {
    HWND window = nullptr;
    if (shape.class_name == L"#32770") {
        const std::vector<WORD> words = empty_dialog_template(shape);
        window = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                              reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
                                              &floor_dialog, 0);
    } else {
        window = ::CreateWindowExW(shape.ex_style, kFloorClass, L"", shape.style, shape.place.left, shape.place.top,
                                   shape.place.right - shape.place.left, shape.place.bottom - shape.place.top,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    for (const auto& c : shape.controls)
        ::CreateWindowExW(c.ex_style, c.class_name.c_str(), L"", c.style, c.place.left, c.place.top,
                          c.place.right - c.place.left, c.place.bottom - c.place.top, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), ::GetModuleHandleW(nullptr), nullptr);
    return window;
}

// Loads the libraries, as the add-in's start-up does, until destroyed.
class floor_libraries {
public:
    explicit floor_libraries(const platform_floor& f) {
        for (const auto& library : f.libraries) libraries_.push_back(::LoadLibraryW(library.c_str()));
    }
    ~floor_libraries() {
        for (auto library = libraries_.rbegin(); library != libraries_.rend(); ++library) ::FreeLibrary(*library);
    }
    floor_libraries(const floor_libraries&) = delete;
    floor_libraries& operator=(const floor_libraries&) = delete;

private:
    std::vector<HMODULE> libraries_;
};

// The whole floor: milliseconds to load the libraries and make the windows;
// then all is undone, as the add-in's unload undoes its own.
double timed_floor(const platform_floor& f) {
    std::vector<HWND> windows;
    std::unique_ptr<floor_libraries> libraries;
    const double elapsed = timed([&] {
        libraries = std::make_unique<floor_libraries>(f);
        for (const auto& shape : f.windows) windows.push_back(make_floor_window(shape));
    });
    for (HWND window : windows) ::DestroyWindow(window);
    return elapsed;
}

// One window's floor, with the libraries when given.
double timed_floor_window(const platform_floor& f, const window_shape* shape, bool with_libraries = false) {
    if (!shape) return 0;
    HWND window = nullptr;
    std::unique_ptr<floor_libraries> libraries;
    const double elapsed = timed([&] {
        if (with_libraries) libraries = std::make_unique<floor_libraries>(f);
        window = make_floor_window(*shape);
    });
    ::DestroyWindow(window);
    return elapsed;
}

// ---- The add-in ----

// The three calls of one load, in milliseconds.
struct load_times {
    double create, connect, startup;
    double total() const { return create + connect + startup; }
};

// One load, from CreateInstance to the end of OnStartupComplete; false when
// the add-in failed. When asked, notes the platform's part of it: the
// libraries loaded that go again with the add-in, and its windows.
bool timed_load(IDispatch* application, load_times& t, platform_floor* floor = nullptr) {
    flinter::unique_safearray custom(::SafeArrayCreateVector(VT_VARIANT, 0, 0));
    SAFEARRAY* array = custom.get();
    const std::set<std::wstring> before = floor ? loaded_module_paths() : std::set<std::wstring>();
    ComPtr<IDTExtensibility2> addin;
    HRESULT result = S_OK;
    t.create = timed([&] { result = ::CoCreateInstance(kKorv, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&addin)); });
    if (FAILED(result)) return false;
    t.connect = timed([&] { result = addin->OnConnection(application, ext_cm_Startup, nullptr, &array); });
    if (FAILED(result)) return false;
    t.startup = timed([&] { result = addin->OnStartupComplete(&array); });
    if (FAILED(result)) return false;
    std::set<std::wstring> during;
    if (floor) {
        during = loaded_module_paths();
        floor->windows = addin_windows();
    }
    addin->OnBeginShutdown(&array);
    addin->OnDisconnection(ext_dm_HostShutdown, &array);
    addin.Reset();
    ::CoFreeUnusedLibrariesEx(0, 0);   // the next load loads the library again
    if (floor) {
        const std::set<std::wstring> after = loaded_module_paths();
        for (const auto& module : during) {
            const bool system = module.find(L"QAV_Flinter") == std::wstring::npos;
            if (system && !before.count(module) && !after.count(module)) floor->libraries.push_back(module);
        }
    }
    return true;
}

// ---- The steps, by the add-in's code linked into this program ----

enum step { library, about_box, settings_window, raw_header_window, information_window, settings_loaded, kSteps };

struct step_times {
    double addin[kSteps] = {};
    double floor[kSteps] = {};
};

// One round of the steps, each undone before the next round: the floor of
// each window alone, then the windows in the start-up's order.
step_times timed_steps(const platform_floor& f) {
    step_times t;
    t.floor[about_box] = timed_floor_window(f, f.window(L"#32770", L"About"));
    t.floor[settings_window] = timed_floor_window(f, f.window(L"#32770", L"Settings"));
    t.floor[raw_header_window] = timed_floor_window(f, f.window(L"QAV_Flinter.Tfheader"));
    t.floor[information_window] = timed_floor_window(f, f.window(L"QAV_Flinter.Tfinfo"), true);
    t.addin[library] = timed([] {
        HMODULE module = ::LoadLibraryW(beside_this_test(kShippedLibrary).c_str());
        ::FreeLibrary(module);
    });
    std::unique_ptr<flinter::TAboutBox> about;
    std::unique_ptr<flinter::Tfset> settings;
    std::unique_ptr<flinter::Tfheader> header;
    std::unique_ptr<flinter::Tfinfo> info;
    t.addin[about_box] = timed([&] { about = std::make_unique<flinter::TAboutBox>(); });
    t.addin[settings_window] = timed([&] { settings = std::make_unique<flinter::Tfset>(nullptr, *about); });
    t.addin[raw_header_window] = timed([&] { header = std::make_unique<flinter::Tfheader>(); });
    t.addin[information_window] = timed([&] { info = std::make_unique<flinter::Tfinfo>(nullptr, *header); });
    t.addin[settings_loaded] = timed([&] { settings->FormShow(); });
    return t;
}

// ---- The figures ----

const char* flavour() {
#ifdef _WIN64
    return "x64";
#else
    return "x86";
#endif
}

void print_loads(std::vector<double> times, std::vector<double> floors) {
    const double first = times.front();
    std::sort(times.begin(), times.end());
    std::sort(floors.begin(), floors.end());
    std::printf("| %s, CreateInstance to the end of OnStartupComplete, %d loads | ms | of Outlook's %.0f ms |"
                " its floor in the same run (ms) | the add-in in floors |\n|---|---:|---:|---:|---:|\n",
                flavour(), kLoads, kOutlookLimitMs);
    const auto row = [](const char* what, double ms, double floor_ms) {
        std::printf("| %s | %.2f | %.1f %% | %.2f | %.2f× |\n", what, ms, 100 * ms / kOutlookLimitMs, floor_ms,
                    ms / floor_ms);
    };
    row("median", times[times.size() / 2], floors[floors.size() / 2]);
    row("fastest", times.front(), floors.front());
    std::printf("| slowest | %.2f | %.1f %% | %.2f | |\n", times.back(), 100 * times.back() / kOutlookLimitMs,
                floors.back());
    std::printf("| first load | %.2f | %.1f %% | | |\n", first, 100 * first / kOutlookLimitMs);
}

void print_steps(const std::vector<step_times>& rounds, const std::vector<load_times>& loads, double floor_total) {
    const auto addin = [&](step s) {
        std::vector<double> v;
        for (const auto& r : rounds) v.push_back(r.addin[s]);
        return median(v);
    };
    const auto floor = [&](step s) {
        std::vector<double> v;
        for (const auto& r : rounds) v.push_back(r.floor[s]);
        return median(v);
    };
    const auto call = [&](double load_times::*part) {
        std::vector<double> v;
        for (const auto& l : loads) v.push_back(l.*part);
        return median(v);
    };
    std::printf("\n| %s, the start-up's steps, medians of %d (ms) | the add-in | its floor |\n|---|---:|---:|\n",
                flavour(), kLoads);
    const auto row = [&](const char* what, double ms, double floor_ms = -1) {
        if (floor_ms >= 0)
            std::printf("| %s | %.2f | %.2f |\n", what, ms, floor_ms);
        else
            std::printf("| %s | %.2f | |\n", what, ms);
    };
    row("CreateInstance: COM finds the class, loads the library, makes its factory and object",
        call(&load_times::create));
    row("- of which QAV_Flinter.dll loaded (and let go), alone", addin(library));
    row("OnConnection: the module made from its stored definition", call(&load_times::connect));
    row("OnStartupComplete", call(&load_times::startup), floor_total);
    double windows = 0;
    const auto window_row = [&](const char* what, step s) {
        windows += addin(s);
        row(what, addin(s), floor(s));
    };
    window_row("- the About box made", about_box);
    window_row("- the settings window made, with its HTTP client", settings_window);
    window_row("- the raw-header window made", raw_header_window);
    window_row("- the message information window made, the rich edit loaded", information_window);
    windows += addin(settings_loaded);
    row("- \"settings.ini\" loaded into the settings window", addin(settings_loaded));
    row("- the rest, by difference: the host's calls, the registry, the toolbar in the explorer, the event sinks",
        call(&load_times::startup) - windows);
}

int run() {
    if (FAILED(mailhost_register()) || regsvr32(beside_this_test(kShippedLibrary)) != 0) {
        std::fprintf(stderr, "startup_benchmark: the add-in could not be registered\n");
        return 1;
    }
    record_recent_update_check();
    register_floor_class();
    std::vector<double> times, floors;
    std::vector<load_times> loads;
    std::vector<step_times> steps;
    platform_floor floor;
    {
        mailhost::simulated_outlook outlook({.explorers = 1});
        for (int i = 0; i < kLoads; ++i) {
            load_times load{};
            if (!timed_load(outlook.application(), load, i == 0 ? &floor : nullptr)) {
                std::fprintf(stderr, "startup_benchmark: load %d failed\n", i + 1);
                return 1;
            }
            times.push_back(load.total());
            loads.push_back(load);
            floors.push_back(timed_floor(floor));
            steps.push_back(timed_steps(floor));
        }
    }
    remove_registration();
    mailhost_unregister();
    std::printf("### %s\n\n", flavour());
    print_loads(times, floors);
    print_steps(steps, loads, median(floors));
    std::printf("\nThe floor: ");
    for (const auto& library : floor.libraries)
        std::printf("%ls, ", library.substr(library.find_last_of(L"\\/") + 1).c_str());
    std::printf("and %zu windows with %zu controls.\n\n", floor.windows.size(), floor.control_count());
    return 0;
}

}  // namespace

int main() {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    const int status = run();
    ::CoUninitialize();
    return status;
}
