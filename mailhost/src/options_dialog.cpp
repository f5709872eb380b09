#include "options_dialog.h"

#include "ids.h"
#include "model.h"

namespace mailhost {
namespace {

struct page {
    std::wstring title;
    flinter::variant content;   // a PropertyPage object or a control's ProgID
};

// The PropertyPages collection of one opening of the dialog; usable while it is open.
class property_pages : public app_object {
public:
    explicit property_pages(std::shared_ptr<application> app)
        : app_object(std::move(app), L"PropertyPages", {ids::IID_PropertyPages}) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(pages_.size())); });
        property(L"Item", [this](const call_args& a) {
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(pages_.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return pages_[at - 1].content;
        });
        method(L"Add", [this](const call_args& a) {
            if (!a.given(0)) fail(E_INVALIDARG, L"A property page is required.");
            const flinter::variant content(a.at(0));
            if (content.type() != VT_BSTR && !content.as_unknown()) fail(DISP_E_TYPEMISMATCH, L"Type mismatch");
            pages_.push_back({a.text_or(1, L""), content});
            log_call(L"PropertyPages.Add " + pages_.back().title);
            return flinter::variant();
        });
        method(L"Remove", [this](const call_args& a) {
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(pages_.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            pages_.erase(pages_.begin() + (at - 1));
            return flinter::variant();
        });
        property(L"Class", [](const call_args&) { return flinter::variant(71); });   // olPropertyPages
        property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
        property(L"Parent", [this](const call_args&) { return this->app().as_variant(); });
        property(L"Session", [this](const call_args&) { return this->app().namespace_variant(); });
    }

    std::vector<std::wstring> titles() const {
        std::vector<std::wstring> result;
        for (const auto& p : pages_) result.push_back(p.title);
        return result;
    }
    void close() { closed_ = true; }

protected:
    void check_usable() const override {
        app_object::check_usable();
        if (closed_) fail(E_FAIL, L"The dialog has been closed.");
    }

private:
    std::vector<page> pages_;
    bool closed_ = false;
};

}  // namespace

std::vector<std::wstring> show_options_dialog(application& app, const std::shared_ptr<folder>& for_folder) {
    auto pages = make<property_pages>(std::static_pointer_cast<application>(app.shared_from_this()));
    ComPtr<IDispatch> pages_object = pages->dispatch();
    ComPtr<IDispatch> folder_object = for_folder ? for_folder->dispatch() : nullptr;
    VARIANT args[2];
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = pages_object.Get();
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = folder_object.Get();
    if (for_folder)
        app.fire_collection(L"NameSpace", ids::kOptionsPagesAdd, {args, 2});
    else
        app.fire(ids::DIID_ApplicationEvents, ids::kOptionsPagesAdd, {args, 1});
    pages->close();
    return pages->titles();
}

}  // namespace mailhost
