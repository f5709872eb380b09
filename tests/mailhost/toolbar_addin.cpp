// A small COM add-in for tours of the simulated Outlook's windows: it puts a
// bar "Toolbar demo" into every explorer, with a "Hello" button (a picture
// with a mask) that shows the selected message's subject in a message box, and
// a "Count" button that counts its clicks in its own caption. Switched off by
// the user, it takes its bars away again. Registered with regsvr32 (per
// flavour in its own view of the classes). Host thread only; nothing unwinds
// into the host.
#include <windows.h>
#include <addin.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "com/advise_cookie.h"
#include "com/class_factory.h"
#include "com/dispatch_sink.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "com/registry.h"
#include "outlook_ids.h"
#include "pictures.h"
#include "test_addin.h"

namespace {

namespace outlook = flinter::testing_support::outlook;
using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using Microsoft::WRL::ComPtr;

const wchar_t kProgId[] = TOOLBAR_ADDIN_PROGID;
const wchar_t kClsid[] = TOOLBAR_ADDIN_CLSID;
const std::wstring kAddInKey = std::wstring(L"Software\\Microsoft\\Office\\Outlook\\AddIns\\") + kProgId;
constexpr DISPID kNewExplorer = 0xF001, kClick = 1;
constexpr int kButton = 1, kBarTop = 1, kStyleCaption = 2, kStyleIconAndCaption = 3;

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

// A 16 x 16 face: a yellow disc on black, and its mask, white where the black shows through.
struct face_pictures {
    ComPtr<IDispatch> picture, mask;
};

face_pictures smiling_face() {
    std::vector<DWORD> pixels(256, 0), mask(256, 0x00FFFFFF);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int dx = 2 * x - 15, dy = 2 * y - 15;
            if (dx * dx + dy * dy > 15 * 15) continue;
            const bool eye = y == 5 && (x == 5 || x == 10);
            const bool mouth = y == 10 && x >= 5 && x <= 10;
            pixels[y * 16 + x] = eye || mouth ? 0x00402000 : 0x00FFD020;
            mask[y * 16 + x] = 0;
        }
    }
    return {mailhost::testing::picture_of(pixels), mailhost::testing::picture_of(mask)};
}

class toolbar_addin;

// Click of one button; the add-in keeps it while its bar lives.
class button_sink : public flinter::dispatch_sink<button_sink> {
public:
    button_sink(toolbar_addin& owner, bool hello)
        : dispatch_sink(outlook::DIID_CommandBarButtonEvents), owner_(owner), hello_(hello) {}
    void on_event(DISPID id, const flinter::event_args& args);

private:
    toolbar_addin& owner_;
    bool hello_;
};

class explorers_sink : public flinter::dispatch_sink<explorers_sink> {
public:
    explicit explorers_sink(toolbar_addin& owner) : dispatch_sink(outlook::DIID_ExplorersEvents), owner_(owner) {}
    void on_event(DISPID id, const flinter::event_args& args);

private:
    toolbar_addin& owner_;
};

class toolbar_addin : public mailhost::testing::test_addin<toolbar_addin> {
public:
    static void count_object(int delta) noexcept { g_objects += delta; }

    STDMETHODIMP OnConnection(IDispatch* app, ext_ConnectMode mode, IDispatch* addin, SAFEARRAY**) noexcept override try {
        app_ = app;
        put(addin, L"Object", variant(static_cast<IDispatch*>(this)));
        // Switched on by the user, Outlook has started long ago: no OnStartupComplete follows.
        if (mode != ext_cm_Startup) install();
        return S_OK;
    } catch (...) {
        return flinter::report_at_boundary();
    }
    STDMETHODIMP OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) noexcept override try {
        remove(mode == ext_dm_UserClosed);
        app_.Reset();
        return S_OK;
    } catch (...) {
        return flinter::report_at_boundary();
    }
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) noexcept override { return S_OK; }
    STDMETHODIMP OnStartupComplete(SAFEARRAY**) noexcept override try {
        install();
        return S_OK;
    } catch (...) {
        return flinter::report_at_boundary();
    }
    STDMETHODIMP OnBeginShutdown(SAFEARRAY**) noexcept override { return S_OK; }

    void add_bar(IDispatch* explorer) {
        const std::wstring n = std::to_wstring(++windows_);
        auto bars = get_object(explorer, L"CommandBars");
        auto bar = get_object(bars.Get(), L"Add", {variant(L"Toolbar demo"), variant(kBarTop), variant::missing(), variant(true)});
        put(bar.Get(), L"Visible", variant(true));
        auto controls = get_object(bar.Get(), L"Controls");
        auto hello = get_object(controls.Get(), L"Add", {variant(kButton), variant::missing(), variant::missing(),
                                                          variant::missing(), variant(true)});
        put(hello.Get(), L"Caption", variant(L"&Hello"));
        put(hello.Get(), L"Tag", variant(L"toolbar-demo.hello." + n));
        put(hello.Get(), L"Style", variant(kStyleIconAndCaption));
        put(hello.Get(), L"TooltipText", variant(L"Greets the selected message"));
        const face_pictures face = smiling_face();
        put(hello.Get(), L"Picture", variant(face.picture.Get()));
        put(hello.Get(), L"Mask", variant(face.mask.Get()));
        auto count = get_object(controls.Get(), L"Add", {variant(kButton), variant::missing(), variant::missing(),
                                                          variant::missing(), variant(true)});
        put(count.Get(), L"Caption", variant(L"&Count"));
        put(count.Get(), L"Tag", variant(L"toolbar-demo.count." + n));
        put(count.Get(), L"Style", variant(kStyleCaption));
        put(count.Get(), L"BeginGroup", variant(true));
        listen(hello.Get(), true);
        listen(count.Get(), false);
        bars_.push_back(bar);
    }

    void clicked(bool hello, IDispatch* button) {
        if (!hello) {
            put(button, L"Caption", variant(L"&Count: " + std::to_wstring(++clicks_)));
            return;
        }
        auto explorer = get_object(app_.Get(), L"ActiveExplorer");
        auto selection = get_object(explorer.Get(), L"Selection");
        const int selected = get(selection.Get(), L"Count").as_int();
        std::wstring text = L"Hello from the toolbar demo add-in.\r\nSelected messages: " + std::to_wstring(selected);
        if (selected > 0)
            text += L"\r\nThe first: " + get(get_object(selection.Get(), L"Item", {variant(1)}).Get(), L"Subject").as_wstring();
        ::MessageBoxW(owner_window(), text.c_str(), L"Toolbar demo", MB_OK | MB_ICONINFORMATION);
    }

private:
    void install() {
        if (explorers_) return;
        explorers_ = get_object(app_.Get(), L"Explorers");
        auto sink = flinter::make_com<explorers_sink>(*this);
        cookies_.push_back(flinter::advise_cookie::advise(explorers_.Get(), outlook::DIID_ExplorersEvents, sink.Get()));
        for (int i = 1, n = get(explorers_.Get(), L"Count").as_int(); i <= n; ++i)
            add_bar(get_object(explorers_.Get(), L"Item", {variant(i)}).Get());
    }

    void listen(IDispatch* button, bool hello) {
        auto sink = flinter::make_com<button_sink>(*this, hello);
        cookies_.push_back(flinter::advise_cookie::advise(button, outlook::DIID_CommandBarButtonEvents, sink.Get()));
    }

    // Switched off, the add-in leaves nothing behind in the windows; at
    // Outlook's end the windows take their temporary bars along.
    void remove(bool take_bars_away) {
        cookies_.clear();
        if (take_bars_away) {
            for (auto& bar : bars_) {
                try {
                    flinter::call(bar.Get(), L"Delete");
                } catch (const flinter::hresult_error&) {
                    // its window has closed and took the bar along
                }
            }
        }
        bars_.clear();
        explorers_.Reset();
    }

    HWND owner_window() const {
        ComPtr<IOleWindow> window;
        HWND handle = nullptr;
        try {
            auto active = get_object(app_.Get(), L"ActiveWindow");
            if (SUCCEEDED(active.As(&window))) window->GetWindow(&handle);
        } catch (const flinter::hresult_error&) {
            // no window in front: the box stands alone
        }
        return handle;
    }

    ComPtr<IDispatch> app_, explorers_;
    std::vector<ComPtr<IDispatch>> bars_;
    std::vector<flinter::advise_cookie> cookies_;
    int windows_ = 0, clicks_ = 0;
};

void button_sink::on_event(DISPID id, const flinter::event_args& args) {
    if (id == kClick) owner_.clicked(hello_, args.dispatch(0));
}

void explorers_sink::on_event(DISPID id, const flinter::event_args& args) {
    if (id == kNewExplorer && args.dispatch(0)) owner_.add_bar(args.dispatch(0));
}

std::wstring module_path() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(flinter::this_module(), path, MAX_PATH);
    return path;
}

}  // namespace

extern "C" {
__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    return flinter::make_com<flinter::class_factory<toolbar_addin>>(&g_locks)->QueryInterface(iid, out);
}
__declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

// The class under HKLM's classes, where Wine's CLSIDFromProgID looks, and the
// add-in key Outlook reads for the user.
__declspec(dllexport) HRESULT __stdcall DllRegisterServer() try {
    const std::wstring clsid_key = std::wstring(L"Software\\Classes\\CLSID\\") + kClsid;
    auto server = flinter::registry_key::create(HKEY_LOCAL_MACHINE, clsid_key + L"\\InprocServer32");
    server.set_string(nullptr, module_path());
    server.set_string(L"ThreadingModel", L"Apartment");
    flinter::registry_key::create(HKEY_LOCAL_MACHINE, clsid_key + L"\\ProgID").set_string(nullptr, kProgId);
    flinter::registry_key::create(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId + L"\\CLSID")
        .set_string(nullptr, kClsid);
    auto addin = flinter::registry_key::create(HKEY_CURRENT_USER, kAddInKey);
    addin.set_dword(L"LoadBehavior", 3);
    addin.set_string(L"FriendlyName", L"Toolbar demo");
    addin.set_string(L"Description", L"Toolbar demo: a bar with two buttons in every explorer");
    return S_OK;
} catch (...) {
    return flinter::report_at_boundary();
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    flinter::delete_key_tree(HKEY_CURRENT_USER, kAddInKey);
    flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\CLSID\\") + kClsid);
    flinter::delete_key_tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId);
    return S_OK;
}
}
