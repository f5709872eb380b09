// The application, its explorer and inspector windows and the MAPI namespace.
#include "model.h"

#include <algorithm>

#include "addins.h"
#include "addins_dialog.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "com/unique_res.h"
#include "com/window_binding.h"
#include "explorer_view.h"
#include "ids.h"
#include "message_view.h"

namespace mailhost {
namespace {

const wchar_t kWindowClass[] = L"mailhost_window";

// Hands a window's messages to its object while the model holds it; an object
// being destroyed, or one whose window is going, gets none.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    auto* object = flinter::object_of_window<window_object>(window);
    if (message == WM_NCDESTROY) flinter::unbind_window(window);
    const std::shared_ptr<host_object> keep = object ? object->weak_from_this().lock() : nullptr;
    if (keep && message != WM_DESTROY && message != WM_NCDESTROY) {
        try {
            LRESULT result = 0;
            if (object->on_message(message, wparam, lparam, result)) return result;
        } catch (...) {
            flinter::log_at_boundary("mailhost window");
            return 0;   // handled: WM_CLOSE's default would destroy a window the model still shows
        }
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

void register_window_class() {
    WNDCLASSEXW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_procedure;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    flinter::register_window_class(wc);
}

// Where the n-th window opens: each a little below and right of the last, as a
// row of windows cascades.
// Application.Version as each Outlook answers it, with a build number of its own.
const wchar_t* version_text(int major) {
    switch (major) {
    case 14: return L"14.0.0.7015";
    case 16: return L"16.0.0.17126";
    default: return L"11.0.0.8217";
    }
}

RECT cascaded(std::size_t n, int width, int height) {
    const int offset = static_cast<int>(n % 8) * 28;
    return {offset, offset, offset + width, offset + height};
}

flinter::variant nothing() { return flinter::variant(static_cast<IDispatch*>(nullptr)); }

template <class T>
flinter::variant variant_of(const std::shared_ptr<T>& object) {
    return object ? object->as_variant() : nothing();
}

std::shared_ptr<bars_context>& shared_bars_context() {
    static std::shared_ptr<bars_context> context;
    return context;
}

// Customizations that outlive a window and, when asked, a session, as Office
// keeps them in its own file. Never destroyed: no host object ends in static destruction.
std::shared_ptr<command_bars>& saved_bars() {
    static auto* bars = new std::shared_ptr<command_bars>;
    return *bars;
}

const wchar_t kInputWindowClass[] = L"mailhost_input";
constexpr UINT kRunQueuedAction = WM_APP + 1;

LRESULT CALLBACK input_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message != kRunQueuedAction) return ::DefWindowProcW(window, message, wparam, lparam);
    try {
        if (auto app = running_application()) app->run_next_queued_action();
    } catch (...) {
        flinter::log_at_boundary("queued user action");
    }
    return 0;
}

class selection_view : public app_object {
public:
    selection_view(std::shared_ptr<application> app, std::vector<std::shared_ptr<mail_item>> items)
        : app_object(std::move(app), L"Selection", {ids::IID_Selection}), items_(std::move(items)) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(items_.size())); });
        property(L"Item", [this](const call_args& a) {
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(items_.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return items_[at - 1]->as_variant();
        });
        property(L"Class", [](const call_args&) { return flinter::variant(74); });
    }

private:
    std::vector<std::shared_ptr<mail_item>> items_;
};

}  // namespace

class explorers_list : public app_object {
public:
    explicit explorers_list(std::shared_ptr<application> app)
        : app_object(app, L"Explorers", {ids::IID_Explorers}) {
        outgoing(ids::DIID_ExplorersEvents);
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(this->app().explorers.size())); });
        property(L"Item", [this](const call_args& a) {
            const int at = a.integer(0);
            auto& list = this->app().explorers;
            if (at < 1 || at > static_cast<int>(list.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return list[at - 1]->as_variant();
        });
        method(L"Add", [this](const call_args& a) {
            std::shared_ptr<folder> start = this->app().default_folder(6);
            if (ComPtr<IUnknown> given = a.object(0)) start = this->app().folder_of(given.Get());
            if (!start) fail(E_INVALIDARG, L"The folder is not a folder of this session.");
            return this->app().open_explorer(start, true)->as_variant();
        });
    }
};

class inspectors_list : public app_object {
public:
    explicit inspectors_list(std::shared_ptr<application> app)
        : app_object(app, L"Inspectors", {ids::IID_Inspectors}) {
        outgoing(ids::DIID_InspectorsEvents);
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(this->app().inspectors.size())); });
        property(L"Item", [this](const call_args& a) {
            const int at = a.integer(0);
            auto& list = this->app().inspectors;
            if (at < 1 || at > static_cast<int>(list.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return list[at - 1]->as_variant();
        });
    }
};

class name_space : public app_object {
public:
    explicit name_space(std::shared_ptr<application> app) : app_object(app, L"NameSpace", {ids::IID_NameSpace}) {
        outgoing(ids::DIID_NameSpaceEvents);
        property(L"Type", [](const call_args&) { return flinter::variant(L"MAPI"); });
        property(L"Class", [](const call_args&) { return flinter::variant(1); });
        method(L"GetDefaultFolder", [this](const call_args& a) {
            auto found = this->app().default_folder(a.integer(0));
            if (!found) fail(E_FAIL, L"The attempted operation failed. An object could not be found.");
            return found->as_variant();
        });
        property(L"Folders", [this](const call_args&) {
            // One store: its top folder.
            auto root = this->app().root();
            auto stores = make<folder>(app_.lock(), L"", 0, std::weak_ptr<folder>());
            stores->children.push_back(root);
            ComPtr<IDispatch> d = stores->dispatch();
            flinter::variant result = flinter::get(d.Get(), L"Folders");
            return result;
        });
        property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
        method(L"Logon", [](const call_args&) { return flinter::variant(); });
    }
};

// ---- app_object ----

app_object::app_object(std::shared_ptr<application> app, std::wstring kind, std::vector<IID> interfaces)
    : host_object(std::move(kind), std::move(interfaces)), app_(std::move(app)) {}

application& app_object::app() const {
    auto host = app_.lock();
    if (!host || !host->running()) fail(RPC_E_DISCONNECTED, L"The object invoked has disconnected from its clients.");
    return *host;
}

void app_object::check_usable() const { (void)app(); }

// ---- windows ----

window_object::window_object(std::shared_ptr<application> app, std::wstring kind, std::vector<IID> interfaces,
                             const std::wstring& caption, const RECT& frame)
    : app_object(std::move(app), std::move(kind), std::move(interfaces)) {
    register_window_class();
    hwnd_.reset(::CreateWindowExW(0, kWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, frame.left, frame.top,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  flinter::this_module(), nullptr));
    if (!hwnd_) fail(HRESULT_FROM_WIN32(::GetLastError()), L"The window could not be created.");
    // Messages reach the object from here on; the procedure asks the model whether it still holds it.
    flinter::bind_window(hwnd_.get(), this);
    // The handlers run on a whole object, so close() reaches the window's own kind.
    method(L"Activate", [this](const call_args&) {
        activate();
        return flinter::variant();
    });
    method(L"Display", [this](const call_args&) {
        activate();
        return flinter::variant();
    });
    method(L"Close", [this](const call_args&) {
        close();
        return flinter::variant();
    });
}

void window_object::activate() {
    if (closed_) fail(E_FAIL, L"The window has been closed.");
    app().window_activated(std::static_pointer_cast<window_object>(shared_from_this()));
    // Only the order on the screen: taking the system's focus would reach
    // windows of other tests and programs.
    if (!closed_) ::SetWindowPos(hwnd_.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool window_object::on_message(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
    switch (message) {
    case WM_CLOSE:
        if (!closed_) close();
        result = 0;
        return true;
    case WM_ACTIVATE:
        // A click brings the window to the front; activation by the system
        // (another window closing, a program's call) is not the user's.
        if (LOWORD(wparam) == WA_CLICKACTIVE && !closed_) activate();
        return false;
    default:
        return false;
    }
}

const IID& explorer::events() const { return ids::DIID_ExplorerEvents; }
const IID& inspector::events() const { return ids::DIID_InspectorEvents; }

explorer::explorer(std::shared_ptr<application> app, std::shared_ptr<folder> current, const RECT& frame)
    : window_object(app, L"Explorer", {ids::IID_Explorer}, (current ? current->name() : L"") + L" - Microsoft Outlook",
                    frame),
      folder_(std::move(current)) {
    outgoing(ids::DIID_ExplorerEvents);
    bars_ = app->bars_for_new_window();
    view_ = std::make_unique<explorer_view>(*this);
    ::ShowWindow(hwnd_.get(), SW_SHOWNA);
    property(L"CurrentFolder", [this](const call_args&) { return variant_of(folder_); },
             [this](const call_args& a) {
                 ComPtr<IUnknown> wanted = flinter::variant(a.value()).as_unknown();
                 auto target = this->app().folder_of(wanted.Get());
                 if (!target) fail(E_INVALIDARG, L"The folder is not a folder of this session.");
                 switch_folder(target);
             });
    property(L"Selection", [this](const call_args&) { return make<selection_view>(app_.lock(), selection_)->as_variant(); });
    property(L"CommandBars", [this](const call_args&) { return bars_->as_variant(); });
    property(L"Caption", [this](const call_args&) { return flinter::variant((folder_ ? folder_->name() : L"") + L" - Microsoft Outlook"); });
    property(L"CurrentView", [this](const call_args&) { return flinter::variant(view_name_); },
             [this](const call_args& a) { switch_view(flinter::variant(a.value()).as_wstring()); });
    property(L"Class", [](const call_args&) { return flinter::variant(34); });
    property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
    property(L"Parent", [this](const call_args&) { return this->app().as_variant(); });
}

explorer::~explorer() = default;

void explorer::fire_simple(DISPID id) { fire(ids::DIID_ExplorerEvents, id, {}); }

void explorer::repaint() noexcept {
    if (view_ && !closed_) view_->invalidate();
}

bool explorer::on_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (!closed_ && view_->handle(message, wparam, lparam, result)) return true;
    return window_object::on_message(message, wparam, lparam, result);
}

bool explorer::switch_folder(const std::shared_ptr<folder>& target) {
    auto keep = shared_from_this();
    VARIANT_BOOL cancel = VARIANT_FALSE;
    ComPtr<IDispatch> new_folder = target->dispatch();
    VARIANT args[2];
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = new_folder.Get();
    args[1].vt = VT_BOOL | VT_BYREF;
    args[1].pboolVal = &cancel;
    fire(ids::DIID_ExplorerEvents, ids::kBeforeFolderSwitch, args);
    if (cancel || closed_) return false;
    folder_ = target;
    const bool had_selection = !selection_.empty();
    selection_.clear();
    ::SetWindowTextW(hwnd_.get(), (target->name() + L" - Microsoft Outlook").c_str());
    view_->folder_switched();
    repaint();
    fire_simple(ids::kFolderSwitch);
    if (had_selection) fire_simple(ids::kSelectionChange);
    return true;
}

bool explorer::switch_view(const std::wstring& view) {
    auto keep = shared_from_this();
    VARIANT_BOOL cancel = VARIANT_FALSE;
    flinter::variant new_view(view);
    VARIANT args[2];
    args[0] = new_view.get();
    args[1].vt = VT_BOOL | VT_BYREF;
    args[1].pboolVal = &cancel;
    fire(ids::DIID_ExplorerEvents, ids::kBeforeViewSwitch, args);
    if (cancel || closed_) return false;
    view_name_ = view;
    fire_simple(ids::kViewSwitch);
    return true;
}

void explorer::select(std::vector<std::shared_ptr<mail_item>> items) {
    auto keep = shared_from_this();
    selection_ = std::move(items);
    repaint();
    fire_simple(ids::kSelectionChange);
}

void explorer::close() {
    if (closed_) return;
    auto keep = std::static_pointer_cast<explorer>(shared_from_this());
    fire_simple(ids::kClose);
    closed_ = true;
    ::ShowWindow(hwnd_.get(), SW_HIDE);
    app().keep_customizations(bars_);
    bars_->close();
    destroy_window();
    // The explorer object may outlive its window (dead objects are kept for
    // the reference audit); what the window drew with goes with the window.
    view_.reset();
    app().window_closed(keep);
}

inspector::inspector(std::shared_ptr<application> app, std::shared_ptr<mail_item> item, const RECT& frame)
    : window_object(app, L"Inspector", {ids::IID_Inspector}, item->subject() + L" - Message", frame),
      item_(std::move(item)) {
    outgoing(ids::DIID_InspectorEvents);
    ::ShowWindow(hwnd_.get(), SW_SHOWNA);
    bars_ = make<command_bars>(shared_bars_context());
    property(L"CurrentItem", [this](const call_args&) { return item_->as_variant(); });
    property(L"CommandBars", [this](const call_args&) { return bars_->as_variant(); });
    property(L"Caption", [this](const call_args&) { return flinter::variant(item_->subject() + L" - Message"); });
    property(L"Class", [](const call_args&) { return flinter::variant(35); });
    property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
}


bool inspector::on_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (!closed_ && show_message(hwnd_.get(), *item_, message, wparam, result)) return true;
    return window_object::on_message(message, wparam, lparam, result);
}

void inspector::close() {
    if (closed_) return;
    auto keep = std::static_pointer_cast<inspector>(shared_from_this());
    // The window is gone from the screen before Outlook reports the close.
    ::ShowWindow(hwnd_.get(), SW_HIDE);
    fire(ids::DIID_InspectorEvents, ids::kClose, {});
    closed_ = true;
    bars_->close();
    destroy_window();
    app().window_closed(keep);
}

// ---- application ----

std::shared_ptr<application>& running_application() {
    static std::shared_ptr<application> app;
    return app;
}

application::application(mailbox_options options)
    : host_object(L"Application", {ids::IID_Application}), options_(std::move(options)) {
    outgoing(ids::DIID_ApplicationEvents);
    register_members();
}

application::~application() = default;

void application::check_usable() const {
    if (!running_) fail(RPC_E_DISCONNECTED, L"The object invoked has disconnected from its clients.");
}

void application::register_members() {
    property(L"ActiveExplorer", [this](const call_args&) { return variant_of(active_explorer()); });
    property(L"ActiveInspector", [this](const call_args&) { return variant_of(active_inspector()); });
    property(L"ActiveWindow", [this](const call_args&) { return variant_of(active_window()); });
    property(L"Explorers", [this](const call_args&) { return explorers_object->as_variant(); });
    property(L"Inspectors", [this](const call_args&) { return inspectors_object->as_variant(); });
    method(L"GetNamespace", [this](const call_args& a) {
        if (::_wcsicmp(a.text(0).c_str(), L"MAPI") != 0) fail(E_INVALIDARG, L"Could not complete the operation. One or more parameter values are not valid.");
        return session->as_variant();
    });
    property(L"Session", [this](const call_args&) { return session->as_variant(); });
    property(L"COMAddIns", [this](const call_args&) { return addins->collection_variant(); });
    property(L"Name", [](const call_args&) { return flinter::variant(L"Outlook"); });
    property(L"Version", [this](const call_args&) { return flinter::variant(version_text(options_.version)); });
    property(L"Class", [](const call_args&) { return flinter::variant(0); });
    property(L"Application", [this](const call_args&) { return as_variant(); });
    method(L"CreateItem", [this](const call_args& a) {
        if (a.integer(0) != 0) fail(E_INVALIDARG, L"Only mail items can be created here.");
        return make<mail_item>(self(), std::string(), 43)->as_variant();
    });
    method(L"Quit", [this](const call_args&) {
        quit();
        return flinter::variant();
    });
}

bool application::fire_collection(const std::wstring& name, DISPID id, std::span<VARIANT> args) {
    if (name == L"Application") fire(ids::DIID_ApplicationEvents, id, args);
    else if (name == L"Explorers") explorers_object->fire(ids::DIID_ExplorersEvents, id, args);
    else if (name == L"Inspectors") inspectors_object->fire(ids::DIID_InspectorsEvents, id, args);
    else if (name == L"NameSpace") session->fire(ids::DIID_NameSpaceEvents, id, args);
    else return false;
    return true;
}

flinter::variant application::namespace_variant() { return session->as_variant(); }

std::shared_ptr<application> application::start(mailbox_options options) {
    if (running_application()) fail(E_FAIL, L"Outlook is already running.");
    shared_bars_context() = std::make_shared<bars_context>();
    if (!options.keep_command_bars) saved_bars().reset();   // a profile without Office's own file
    shared_bars_context()->picture_support = options.picture_support;
    auto app = make<application>(std::move(options));
    app->running_ = true;
    running_application() = app;
    try {
        app->create_input_window();
        app->explorers_object = make<explorers_list>(app);
        app->inspectors_object = make<inspectors_list>(app);
        app->session = make<name_space>(app);
        app->load_mailbox();
        for (int i = 0; i < app->options_.explorers; ++i) app->open_explorer(app->default_folder(6), false);
        if (app->options_.register_running && !fault_armed(L"Application", L"GetActiveObject")) {
            ComPtr<IUnknown> unknown;
            app->QueryInterface(IID_PPV_ARGS(&unknown));
            if (FAILED(::RegisterActiveObject(unknown.Get(), ids::CLSID_Application, ACTIVEOBJECT_WEAK, &app->rot_cookie_)))
                app->rot_cookie_ = 0;
        }
        app->addins = std::make_unique<addin_manager>(*app);
        app->addins->startup();
        // The main window comes to the front once the add-ins are loaded.
        if (auto first = app->active_explorer(); first && app->running_) first->activate();
    } catch (...) {
        app->quit();
        throw;
    }
    return app;
}

void application::quit() {
    if (!running_ || quitting_) return;
    quitting_ = true;
    auto keep = shared_from_this();
    log_call(L"quit");
    queued_.clear();
    close_addins_dialog();
    while (!inspectors.empty()) inspectors.back()->close();
    while (!explorers.empty()) explorers.back()->close();
    fire(ids::DIID_ApplicationEvents, ids::kQuit, {});
    if (addins) addins->shutdown();
    leave_running_object_table();
    running_ = false;
    shared_bars_context()->alive = false;
    drop_advised_sinks();
    if (running_application().get() == this) running_application().reset();
    addins.reset();
    root_.reset();
    input_window_.reset();
}

void application::leave_running_object_table() {
    if (rot_cookie_) ::RevokeActiveObject(rot_cookie_, nullptr);
    rot_cookie_ = 0;
}

void application::create_input_window() {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = input_procedure;
    wc.lpszClassName = kInputWindowClass;
    flinter::register_window_class(wc);
    input_window_.reset(::CreateWindowExW(0, kInputWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          flinter::this_module(), nullptr));
    if (!input_window_) fail(HRESULT_FROM_WIN32(::GetLastError()), L"The input window could not be created.");
}

HRESULT application::perform(user_action action) {
    if (!queueing_) return action();
    queued_.push_back(std::move(action));
    if (!::PostMessageW(input_window_.get(), kRunQueuedAction, 0, 0)) {
        queued_.pop_back();
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    return S_OK;
}

void application::run_next_queued_action() {
    if (queued_.empty()) return;
    user_action action = std::move(queued_.front());
    queued_.pop_front();
    auto keep = shared_from_this();
    HRESULT hr = E_UNEXPECTED;
    try {
        hr = action();
    } catch (const flinter::hresult_error& e) {
        hr = e.code();
    }
    if (FAILED(hr)) {
        wchar_t code[16];
        ::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
        log_call(std::wstring(L"queued action failed: ") + code);
    }
}

void application::load_mailbox() {
    // Outlook's default folders with their default item types (OlItemType).
    root_ = make<folder>(self(), L"Mailbox", 0, std::weak_ptr<folder>());
    const std::pair<const wchar_t*, int> folders[] = {
        {L"Inbox", 0},  {L"Calendar", 1}, {L"Contacts", 2},    {L"Deleted Items", 0}, {L"Outbox", 0}, {L"Sent Items", 0},
        {L"Drafts", 0}, {L"Journal", 4},  {L"Junk E-mail", 0}, {L"Notes", 5},         {L"Tasks", 3}};
    for (auto [name, type] : folders) root_->add_child(name, type);
    if (options_.mailbox.empty()) return;
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((options_.mailbox + L"\\*.eml").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) fail(E_INVALIDARG, L"The mailbox folder holds no messages: " + options_.mailbox);
    do files.push_back(found.cFileName);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(files.begin(), files.end());
    for (const auto& name : files) {
        const std::wstring path = options_.mailbox + L"\\" + name;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        flinter::unique_handle owned(file);
        std::string content(::GetFileSize(file, nullptr), '\0');
        DWORD read = 0;
        if (!::ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr)) continue;
        content.resize(read);
        make<mail_item>(self(), std::move(content), 43)->move_to(default_folder(6));
    }
}

std::shared_ptr<folder> application::default_folder(int id) const {
    const wchar_t* name = nullptr;
    switch (id) {
    case 3: name = L"Deleted Items"; break;
    case 4: name = L"Outbox"; break;
    case 5: name = L"Sent Items"; break;
    case 6: name = L"Inbox"; break;
    case 9: name = L"Calendar"; break;
    case 10: name = L"Contacts"; break;
    case 11: name = L"Journal"; break;
    case 12: name = L"Notes"; break;
    case 13: name = L"Tasks"; break;
    case 16: name = L"Drafts"; break;
    case 23: name = L"Junk E-mail"; break;
    default: return nullptr;
    }
    return find_folder(L"Mailbox\\" + std::wstring(name));
}

std::shared_ptr<folder> application::find_folder(const std::wstring& name_or_path) const {
    // Breadth first, so that a name finds the folder nearest the top.
    std::vector<std::shared_ptr<folder>> all{root_};
    for (std::size_t i = 0; i < all.size(); ++i) all.insert(all.end(), all[i]->children.begin(), all[i]->children.end());
    for (const auto& f : all)
        if (::_wcsicmp(f->path().c_str(), name_or_path.c_str()) == 0) return f;
    for (const auto& f : all)
        if (::_wcsicmp(f->name().c_str(), name_or_path.c_str()) == 0) return f;
    return nullptr;
}

std::shared_ptr<folder> application::folder_of(IUnknown* object) const {
    ComPtr<IUnknown> identity;
    if (!object || FAILED(object->QueryInterface(IID_PPV_ARGS(&identity)))) return nullptr;
    std::vector<std::shared_ptr<folder>> pending{root_};
    while (!pending.empty()) {
        auto f = pending.back();
        pending.pop_back();
        if (f->identity() == identity.Get()) return f;
        pending.insert(pending.end(), f->children.begin(), f->children.end());
    }
    return nullptr;
}

std::shared_ptr<explorer> application::open_explorer(std::shared_ptr<folder> current, bool announce) {
    auto window = make<explorer>(self(), std::move(current), cascaded(explorers.size(), 900, 620));
    explorers.push_back(window);
    front_to_back_.push_back(window);
    if (announce) {
        ComPtr<IDispatch> d = window->dispatch();
        VARIANT arg;
        arg.vt = VT_DISPATCH;
        arg.pdispVal = d.Get();
        explorers_object->fire(ids::DIID_ExplorersEvents, ids::kNewExplorer, {&arg, 1});
    }
    return window;
}

std::shared_ptr<inspector> application::open_inspector(std::shared_ptr<mail_item> item) {
    auto window = make<inspector>(self(), std::move(item), cascaded(inspectors.size() + 1, 640, 480));
    inspectors.push_back(window);
    front_to_back_.push_back(window);
    ComPtr<IDispatch> d = window->dispatch();
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = d.Get();
    inspectors_object->fire(ids::DIID_InspectorsEvents, ids::kNewInspector, {&arg, 1});
    // The first inspector of its kind has the add-ins asked for its ribbon before it shows.
    if (has_ribbon() && addins && !window->closed())
        addins->load_ribbons(window->item()->has_headers() ? L"Microsoft.Outlook.Mail.Read" : L"Microsoft.Outlook.Mail.Compose");
    if (!window->closed()) window->activate();
    return window;
}

void application::window_activated(const std::shared_ptr<window_object>& window) {
    auto previous = focused_.lock();
    if (previous == window) return;
    std::erase_if(front_to_back_, [&](const auto& w) { return w.lock() == window; });
    front_to_back_.insert(front_to_back_.begin(), window);
    focused_ = window;
    if (previous && !previous->closed()) previous->fire(previous->events(), ids::kDeactivate, {});
    if (!window->closed()) window->fire(window->events(), ids::kActivate, {});
}

void application::window_closed(const std::shared_ptr<window_object>& closed) {
    const bool was_active = !front_to_back_.empty() && front_to_back_.front().lock() == closed;
    if (focused_.lock() == closed) focused_.reset();
    std::erase_if(front_to_back_, [&](const auto& w) { return w.expired() || w.lock() == closed; });
    if (auto e = std::dynamic_pointer_cast<explorer>(closed)) std::erase(explorers, e);
    if (auto i = std::dynamic_pointer_cast<inspector>(closed)) std::erase(inspectors, i);
    if (quitting_) return;
    // Outlook ends when its last window closes, whoever still holds references.
    if (explorers.empty() && inspectors.empty()) return quit();
    if (was_active) {
        if (auto next = active_window()) next->activate();
    }
}

namespace {

template <class Window>
std::shared_ptr<Window> first_open(const std::vector<std::weak_ptr<window_object>>& windows) {
    for (const auto& w : windows)
        if (auto window = std::dynamic_pointer_cast<Window>(w.lock()); window && !window->closed()) return window;
    return nullptr;
}

}  // namespace

std::shared_ptr<explorer> application::active_explorer() const { return first_open<explorer>(front_to_back_); }
std::shared_ptr<inspector> application::active_inspector() const { return first_open<inspector>(front_to_back_); }
std::shared_ptr<window_object> application::active_window() const { return first_open<window_object>(front_to_back_); }

std::wstring application::write_sent(const std::string& eml) {
    std::wstring dir = options_.outbox_dir;
    if (dir.empty()) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"mailhost-outbox";
    }
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring path = dir + L"\\sent-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++sent_count_) + L".eml";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) fail(HRESULT_FROM_WIN32(::GetLastError()), L"The message could not be sent.");
    flinter::unique_handle owned(file);
    DWORD written = 0;
    if (!::WriteFile(file, eml.data(), static_cast<DWORD>(eml.size()), &written, nullptr) || written != eml.size())
        fail(E_FAIL, L"The message could not be sent.");
    last_sent_file = path;
    log_call(L"sent " + path);
    return path;
}

std::shared_ptr<command_bars> application::bars_for_new_window() {
    if (saved_bars()) return saved_bars()->clone_persistent(shared_bars_context());
    return command_bars::builtin(shared_bars_context());
}

void application::keep_customizations(const std::shared_ptr<command_bars>& bars) {
    saved_bars() = bars->clone_persistent(shared_bars_context());
}

}  // namespace mailhost
