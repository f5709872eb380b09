#include "ribbon.h"

#include <addin.h>
#include <olectl.h>

#include <algorithm>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "drawing.h"
#include "explorer_view.h"
#include "model.h"

namespace mailhost {
namespace {

using flinter::variant;

std::wstring hex(HRESULT hr) {
    wchar_t code[16];
    ::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

// The typed side of a host object whose interface is dual: IUnknown and
// IDispatch are the object's own, and the typed members call its members by
// name, so that the log, the faults and the census see both ways alike. Lives
// inside its object.
template <class Interface>
class typed_face : public Interface {
public:
    explicit typed_face(host_object& owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override { return owner_.QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return owner_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return owner_.Release(); }
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override { return owner_.GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override {
        return owner_.GetTypeInfo(index, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override {
        return owner_.GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* bad) noexcept override {
        return owner_.Invoke(id, iid, lcid, flags, params, result, exception, bad);
    }

protected:
    // The member's value; a failure comes back as its HRESULT.
    HRESULT member(const wchar_t* name, std::initializer_list<variant> args, variant* value) noexcept try {
        variant result = flinter::call(owner_.dispatch().Get(), name, args);
        if (value) *value = std::move(result);
        return S_OK;
    } catch (const flinter::hresult_error& e) {
        return e.code();
    } catch (...) {
        return E_UNEXPECTED;
    }
    HRESULT text(const wchar_t* name, BSTR* out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        variant value;
        if (const HRESULT hr = member(name, {}, &value); FAILED(hr)) return hr;
        const std::wstring text = value.as_wstring();
        *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    host_object& owner_;
};

class ribbon_control_face : public typed_face<IRibbonControl> {
public:
    using typed_face::typed_face;
    STDMETHODIMP get_Id(BSTR* id) noexcept override { return text(L"Id", id); }
    STDMETHODIMP get_Tag(BSTR* tag) noexcept override { return text(L"Tag", tag); }
    STDMETHODIMP get_Context(IDispatch** context) noexcept override {
        if (!context) return E_POINTER;
        *context = nullptr;
        variant value;
        if (const HRESULT hr = member(L"Context", {}, &value); FAILED(hr)) return hr;
        *context = value.as_dispatch().Detach();
        return S_OK;
    }
};

class ribbon_ui_face : public typed_face<IRibbonUI> {
public:
    using typed_face::typed_face;
    STDMETHODIMP Invalidate() noexcept override { return member(L"Invalidate", {}, nullptr); }
    STDMETHODIMP InvalidateControl(BSTR id) noexcept override {
        return member(L"InvalidateControl", {variant(id ? id : L"")}, nullptr);
    }
};

// What a callback learns about the control it is called for: its id, its tag
// and the window it is in (the explorer).
class ribbon_control : public app_object {
public:
    ribbon_control(std::shared_ptr<application> app, const ribbon_button& button, std::shared_ptr<explorer> context)
        : app_object(std::move(app), L"RibbonControl", {}), face_(*this), id_(button.id), tag_(button.tag),
          context_(std::move(context)) {
        property(L"Id", [this](const call_args&) { return variant(id_); });
        property(L"Tag", [this](const call_args&) { return variant(tag_); });
        property(L"Context", [this](const call_args&) {
            return context_ ? context_->as_variant() : variant(static_cast<IDispatch*>(nullptr));
        });
    }

protected:
    IUnknown* typed_interface(REFIID iid) noexcept override {
        return iid == __uuidof(IRibbonControl) ? static_cast<IRibbonControl*>(&face_) : nullptr;
    }

private:
    ribbon_control_face face_;
    std::wstring id_, tag_;
    std::shared_ptr<explorer> context_;
};

// The ribbon as the add-in holds it (onLoad): Invalidate has the host ask its
// callbacks again. Once the add-in is let go it does nothing.
class ribbon_ui : public app_object {
public:
    ribbon_ui(std::shared_ptr<application> app, std::weak_ptr<ribbon_connection> ribbon)
        : app_object(std::move(app), L"RibbonUI", {}), face_(*this), ribbon_(std::move(ribbon)) {
        method(L"Invalidate", [this](const call_args&) {
            if (auto ribbon = ribbon_.lock()) ribbon->invalidate(L"");
            return variant();
        });
        method(L"InvalidateControl", [this](const call_args& a) {
            if (auto ribbon = ribbon_.lock()) ribbon->invalidate(a.text(0));
            return variant();
        });
    }

protected:
    IUnknown* typed_interface(REFIID iid) noexcept override {
        return iid == __uuidof(IRibbonUI) ? static_cast<IRibbonUI*>(&face_) : nullptr;
    }

private:
    ribbon_ui_face face_;
    std::weak_ptr<ribbon_connection> ribbon_;
};

// A flag raised for one scope.
class raised_while {
public:
    explicit raised_while(bool& flag) : flag_(flag) { flag_ = true; }
    ~raised_while() { flag_ = false; }
    raised_while(const raised_while&) = delete;
    raised_while& operator=(const raised_while&) = delete;

private:
    bool& flag_;
};

// Straight alpha over the background; a bitmap without alpha is opaque.
void lay_over_background(std::vector<DWORD>& pixels) {
    const bool has_alpha = std::any_of(pixels.begin(), pixels.end(), [](DWORD p) { return (p >> 24) != 0; });
    const DWORD background[3] = {GetRValue(kRibbonBackground), GetGValue(kRibbonBackground), GetBValue(kRibbonBackground)};
    for (DWORD& p : pixels) {
        const DWORD alpha = has_alpha ? p >> 24 : 255;
        DWORD out = 0;
        for (int channel = 0; channel < 3; ++channel) {
            const int shift = 16 - channel * 8;
            const DWORD value = (p >> shift) & 0xFF;
            out |= ((value * alpha + background[channel] * (255 - alpha)) / 255) << shift;
        }
        p = out;
    }
}

// The pixels of a picture (a bitmap or an icon) as getImage hands it out.
ribbon_picture pixels_of(IUnknown* given) {
    Microsoft::WRL::ComPtr<IPicture> picture;
    flinter::check(given->QueryInterface(IID_PPV_ARGS(&picture)));
    SHORT type = PICTYPE_NONE;
    OLE_HANDLE handle = 0;
    flinter::check(picture->get_Type(&type));
    flinter::check(picture->get_Handle(&handle));
    const auto gdi_handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle));
    const flinter::unique_hdc dc(::CreateCompatibleDC(nullptr));
    ribbon_picture result;
    if (type == PICTYPE_BITMAP) {
        BITMAP info{};
        if (!::GetObjectW(gdi_handle, sizeof info, &info)) throw flinter::hresult_error(E_INVALIDARG, "not a bitmap");
        result.width = info.bmWidth;
        result.height = info.bmHeight;
        result.pixels.resize(static_cast<std::size_t>(result.width) * result.height);
        BITMAPINFO format = top_down_32_bits(result.width, result.height);
        if (!::GetDIBits(dc.get(), static_cast<HBITMAP>(gdi_handle), 0, result.height, result.pixels.data(), &format,
                         DIB_RGB_COLORS))
            throw flinter::hresult_error(E_FAIL, "the bitmap's pixels cannot be read");
        if (info.bmBitsPixel != 32)
            for (DWORD& p : result.pixels) p &= 0x00FFFFFF;
    } else if (type == PICTYPE_ICON) {
        result.width = result.height = 32;
        result.pixels.assign(32 * 32, 0);
        BITMAPINFO format = top_down_32_bits(32, 32);
        void* bits = nullptr;
        const flinter::unique_hbitmap canvas(::CreateDIBSection(dc.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!canvas) throw flinter::hresult_error(E_OUTOFMEMORY, "no room for the icon");
        const HGDIOBJ old = ::SelectObject(dc.get(), canvas.get());
        ::DrawIconEx(dc.get(), 0, 0, static_cast<HICON>(gdi_handle), 32, 32, 0, nullptr, DI_NORMAL);
        ::SelectObject(dc.get(), old);
        std::copy_n(static_cast<const DWORD*>(bits), 32 * 32, result.pixels.begin());
    } else {
        throw flinter::hresult_error(E_INVALIDARG, "the picture is neither a bitmap nor an icon");
    }
    lay_over_background(result.pixels);
    return result;
}

}  // namespace

std::shared_ptr<ribbon_connection> ribbon_connection::attach(const std::shared_ptr<application>& app,
                                                             const std::wstring& prog_id, IUnknown* addin) {
    Microsoft::WRL::ComPtr<IRibbonExtensibility> ribbon;
    if (!addin || FAILED(addin->QueryInterface(IID_PPV_ARGS(&ribbon))) || !ribbon) return nullptr;
    // Office calls the markup's callbacks by name on the object's IDispatch.
    Microsoft::WRL::ComPtr<IDispatch> callbacks;
    if (FAILED(ribbon.As(&callbacks)) || !callbacks) callbacks = ribbon;
    return std::make_shared<ribbon_connection>(app, prog_id, std::move(ribbon), std::move(callbacks));
}

ribbon_connection::ribbon_connection(const std::shared_ptr<application>& app, std::wstring prog_id,
                                     Microsoft::WRL::ComPtr<IRibbonExtensibility> ribbon,
                                     Microsoft::WRL::ComPtr<IDispatch> callbacks)
    : app_(app), prog_id_(std::move(prog_id)), ribbon_(std::move(ribbon)), callbacks_(std::move(callbacks)) {}

ribbon_connection::~ribbon_connection() { detach(); }

void ribbon_connection::load(const std::wstring& ribbon_id) {
    if (!ribbon_ || !asked_.insert(ribbon_id).second) return;
    auto keep = shared_from_this();
    Microsoft::WRL::ComPtr<IRibbonExtensibility> ribbon = ribbon_;   // the call may let the add-in go
    const std::wstring who = L"addin " + prog_id_;
    log_call(who + L".GetCustomUI(" + ribbon_id + L")");
    flinter::unique_bstr markup;
    BSTR answer = nullptr;
    const HRESULT hr = ribbon->GetCustomUI(flinter::unique_bstr(::SysAllocString(ribbon_id.c_str())).get(), &answer);
    markup.reset(answer);
    if (FAILED(hr)) return log_call(who + L".GetCustomUI failed: " + hex(hr));
    if (!markup || ::SysStringLen(markup.get()) == 0 || !ribbon_) return;   // no ribbon for this id
    try {
        const custom_ui checked = read_custom_ui(std::wstring(markup.get(), ::SysStringLen(markup.get())),
                                                 [this](const std::wstring& name) { return answers(name); });
        if (ribbon_id != kExplorerRibbon) return;   // inspectors' ribbons are checked, not drawn
        groups_ = checked.groups;
        pictures_.clear();
        for (const auto& group : groups_)
            for (const auto& button : group.buttons) pictures_.emplace_back(button.id, std::nullopt);
        model_changed();
        if (!checked.on_load.empty()) {
            auto app = app_.lock();
            if (!app) return;
            ribbon_ui_ = make<ribbon_ui>(app, weak_from_this());
            callback(checked.on_load, L"", ribbon_ui_->dispatch().Get());
        }
    } catch (const custom_ui_error& e) {
        log_call(who + L" custom UI error in " + ribbon_id + L": " + e.reason());
    } catch (const flinter::hresult_error& e) {
        log_call(who + L" custom UI of " + ribbon_id + L" not read: " + hex(e.code()) + L" " + flinter::widen(e.what()));
    }
}

bool ribbon_connection::answers(const std::wstring& callback) const {
    std::wstring name = callback;
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    return callbacks_ && SUCCEEDED(callbacks_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

variant ribbon_connection::callback(const std::wstring& name, const std::wstring& about, IDispatch* argument) {
    Microsoft::WRL::ComPtr<IDispatch> callbacks = callbacks_;   // the add-in may be let go during the call
    const std::wstring call = L"addin " + prog_id_ + L"." + name + L"(" + about + L")";
    if (!callbacks) return variant();
    log_call(call);
    try {
        return flinter::call(callbacks.Get(), name.c_str(), {variant(argument)});
    } catch (const flinter::hresult_error& e) {
        log_call(call + L" failed: " + hex(e.code()));
        return variant();
    }
}

const ribbon_button* ribbon_connection::find_button(const std::wstring& id_or_label) const {
    for (const auto& group : groups_)
        for (const auto& button : group.buttons)
            if (button.id == id_or_label || ::_wcsicmp(button.label.c_str(), id_or_label.c_str()) == 0) return &button;
    return nullptr;
}

std::shared_ptr<host_object> ribbon_connection::control_for(const ribbon_button& button,
                                                            const std::shared_ptr<explorer>& context) {
    auto app = app_.lock();
    if (!app) fail(RPC_E_DISCONNECTED, L"Outlook is not running.");
    return make<ribbon_control>(app, button, context);
}

ribbon_picture ribbon_connection::fetch_picture(const ribbon_button& button) {
    if (button.get_image.empty()) return {};
    auto control = control_for(button, app_.lock() ? app_.lock()->active_explorer() : nullptr);
    const variant image = callback(button.get_image, button.id, control->dispatch().Get());
    const auto given = image.type() == VT_DISPATCH || image.type() == VT_UNKNOWN ? image.as_unknown() : nullptr;
    if (!given) return {};
    try {
        return pixels_of(given.Get());
    } catch (const flinter::hresult_error& e) {
        log_call(L"addin " + prog_id_ + L"." + button.get_image + L"(" + button.id + L") gave no picture: " + hex(e.code()));
        return {};
    }
}

const ribbon_picture* ribbon_connection::picture(const std::wstring& button_id) {
    auto keep = shared_from_this();
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
        if (pictures_[i].first != button_id) continue;
        if (!pictures_[i].second) {
            // An add-in that pumps messages in getImage has the window paint inside it.
            if (fetching_) return nullptr;
            const ribbon_button* button = find_button(button_id);
            ribbon_picture fetched;
            {
                const raised_while fetching(fetching_);
                fetched = button ? fetch_picture(*button) : ribbon_picture{};
            }
            // The add-in may have been let go, or invalidated, during getImage.
            if (i >= pictures_.size() || pictures_[i].first != button_id) return nullptr;
            pictures_[i].second = std::move(fetched);
        }
        return pictures_[i].second->pixels.empty() ? nullptr : &*pictures_[i].second;
    }
    return nullptr;
}

void ribbon_connection::click(const std::wstring& button_id, const std::shared_ptr<explorer>& context) {
    auto keep = shared_from_this();
    const ribbon_button* found = find_button(button_id);
    if (!found) fail(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), L"No such ribbon control.");
    const ribbon_button button = *found;   // the groups may go while onAction runs
    log_call(L"ribbon click " + button.id);
    if (button.on_action.empty()) return;
    auto control = control_for(button, context);
    callback(button.on_action, button.id, control->dispatch().Get());
}

void ribbon_connection::invalidate(const std::wstring& control_id) {
    for (auto& [id, picture] : pictures_)
        if (control_id.empty() || id == control_id) picture.reset();
    model_changed();
}

void ribbon_connection::detach() noexcept {
    const bool shown = !groups_.empty();
    groups_.clear();
    pictures_.clear();
    ribbon_ui_.reset();
    // Released last, and outside the members: a release may call back.
    Microsoft::WRL::ComPtr<IDispatch> callbacks = std::move(callbacks_);
    Microsoft::WRL::ComPtr<IRibbonExtensibility> ribbon = std::move(ribbon_);
    if (shown) model_changed();
}

}  // namespace mailhost
