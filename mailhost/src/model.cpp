// The application, its explorer and inspector windows and the MAPI namespace.
#include "model.h"

#include <algorithm>

#include "addins.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "com/unique_res.h"
#include "ids.h"

namespace mailhost {
namespace {

const wchar_t kWindowClass[] = L"mailhost_window";

void register_window_class() {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.lpszClassName = kWindowClass;
    flinter::register_window_class(wc);
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

// Customizations that outlive a window, as Office keeps them between windows.
std::shared_ptr<command_bars>& saved_bars() {
    static std::shared_ptr<command_bars> bars;
    return bars;
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
            if (ComPtr<IUnknown> given = a.object(0)) {
                ComPtr<IUnknown> identity;
                given.As(&identity);
                start = nullptr;
                std::vector<std::shared_ptr<folder>> pending{this->app().root()};
                while (!pending.empty() && !start) {
                    auto f = pending.back();
                    pending.pop_back();
                    if (static_cast<IDispatch*>(f.get()) == identity.Get()) start = f;
                    pending.insert(pending.end(), f->children.begin(), f->children.end());
                }
                if (!start) fail(E_INVALIDARG, L"The folder is not a folder of this session.");
            }
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
                             const std::wstring& caption)
    : app_object(std::move(app), std::move(kind), std::move(interfaces)) {
    register_window_class();
    hwnd_.reset(::CreateWindowExW(0, kWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                  nullptr, flinter::this_module(), nullptr));
    if (!hwnd_) fail(HRESULT_FROM_WIN32(::GetLastError()), L"The window could not be created.");
    ::ShowWindow(hwnd_.get(), SW_SHOWNA);
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
}

explorer::explorer(std::shared_ptr<application> app, std::shared_ptr<folder> current)
    : window_object(app, L"Explorer", {ids::IID_Explorer}, L"Inbox - Microsoft Outlook"), folder_(std::move(current)) {
    outgoing(ids::DIID_ExplorerEvents);
    bars_ = app->bars_for_new_window();
    property(L"CurrentFolder", [this](const call_args&) { return variant_of(folder_); },
             [this](const call_args& a) {
                 ComPtr<IUnknown> wanted = flinter::variant(a.value()).as_unknown();
                 ComPtr<IUnknown> identity;
                 if (wanted) wanted.As(&identity);
                 std::vector<std::shared_ptr<folder>> pending{this->app().root()};
                 while (!pending.empty()) {
                     auto f = pending.back();
                     pending.pop_back();
                     if (static_cast<IDispatch*>(f.get()) == identity.Get()) {
                         switch_folder(f);
                         return;
                     }
                     pending.insert(pending.end(), f->children.begin(), f->children.end());
                 }
                 fail(E_INVALIDARG, L"The folder is not a folder of this session.");
             });
    property(L"Selection", [this](const call_args&) { return make<selection_view>(app_.lock(), selection_)->as_variant(); });
    property(L"CommandBars", [this](const call_args&) { return bars_->as_variant(); });
    property(L"Caption", [this](const call_args&) { return flinter::variant((folder_ ? folder_->name() : L"") + L" - Microsoft Outlook"); });
    property(L"CurrentView", [this](const call_args&) { return flinter::variant(view_); },
             [this](const call_args& a) { switch_view(flinter::variant(a.value()).as_wstring()); });
    property(L"Class", [](const call_args&) { return flinter::variant(34); });
    property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
    property(L"Parent", [this](const call_args&) { return this->app().as_variant(); });
}

void explorer::fire_simple(DISPID id) { fire(ids::DIID_ExplorerEvents, id, {}); }

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
    view_ = view;
    fire_simple(ids::kViewSwitch);
    return true;
}

void explorer::select(std::vector<std::shared_ptr<mail_item>> items) {
    auto keep = shared_from_this();
    selection_ = std::move(items);
    fire_simple(ids::kSelectionChange);
}


void explorer::deactivate() { fire_simple(ids::kDeactivate); }

void explorer::close() {
    if (closed_) return;
    auto keep = std::static_pointer_cast<explorer>(shared_from_this());
    fire_simple(ids::kClose);
    closed_ = true;
    ::ShowWindow(hwnd_.get(), SW_HIDE);
    app().keep_customizations(bars_);
    bars_->close();
    app().explorer_closed(keep);
}

inspector::inspector(std::shared_ptr<application> app, std::shared_ptr<mail_item> item)
    : window_object(app, L"Inspector", {ids::IID_Inspector}, item->subject() + L" - Message"), item_(std::move(item)) {
    outgoing(ids::DIID_InspectorEvents);
    bars_ = make<command_bars>(shared_bars_context());
    property(L"CurrentItem", [this](const call_args&) { return item_->as_variant(); });
    property(L"CommandBars", [this](const call_args&) { return bars_->as_variant(); });
    property(L"Caption", [this](const call_args&) { return flinter::variant(item_->subject() + L" - Message"); });
    property(L"Class", [](const call_args&) { return flinter::variant(35); });
    property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
}


void inspector::close() {
    if (closed_) return;
    auto keep = std::static_pointer_cast<inspector>(shared_from_this());
    // The window is gone from the screen before Outlook reports the close.
    ::ShowWindow(hwnd_.get(), SW_HIDE);
    fire(ids::DIID_InspectorEvents, ids::kClose, {});
    closed_ = true;
    bars_->close();
    app().inspector_closed(keep);
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
    property(L"ActiveWindow", [this](const call_args&) {
        auto window = active_.lock();
        if (window && !window->closed()) return window->as_variant();
        return variant_of(active_explorer());
    });
    property(L"Explorers", [this](const call_args&) { return explorers_object->as_variant(); });
    property(L"Inspectors", [this](const call_args&) { return inspectors_object->as_variant(); });
    method(L"GetNamespace", [this](const call_args& a) {
        if (::_wcsicmp(a.text(0).c_str(), L"MAPI") != 0) fail(E_INVALIDARG, L"Could not complete the operation. One or more parameter values are not valid.");
        return session->as_variant();
    });
    property(L"Session", [this](const call_args&) { return session->as_variant(); });
    property(L"COMAddIns", [this](const call_args&) { return addins->collection_variant(); });
    property(L"Name", [](const call_args&) { return flinter::variant(L"Outlook"); });
    property(L"Version", [](const call_args&) { return flinter::variant(L"11.0.0.8217"); });
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
    saved_bars().reset();
    shared_bars_context()->picture_support = options.picture_support;
    auto app = make<application>(std::move(options));
    app->running_ = true;
    running_application() = app;
    try {
        app->explorers_object = make<explorers_list>(app);
        app->inspectors_object = make<inspectors_list>(app);
        app->session = make<name_space>(app);
        app->load_mailbox();
        for (int i = 0; i < app->options_.explorers; ++i) app->open_explorer(app->default_folder(6), false);
        if (!app->explorers.empty()) app->active_ = app->explorers.front();
        if (app->options_.register_running) {
            ComPtr<IUnknown> unknown;
            app->QueryInterface(IID_PPV_ARGS(&unknown));
            if (FAILED(::RegisterActiveObject(unknown.Get(), ids::CLSID_Application, ACTIVEOBJECT_WEAK, &app->rot_cookie_)))
                app->rot_cookie_ = 0;
        }
        app->addins = std::make_unique<addin_manager>(*app);
        app->addins->startup();
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
    while (!inspectors.empty()) inspectors.back()->close();
    while (!explorers.empty()) explorers.back()->close();
    fire(ids::DIID_ApplicationEvents, ids::kQuit, {});
    if (addins) addins->shutdown();
    if (rot_cookie_) ::RevokeActiveObject(rot_cookie_, nullptr);
    rot_cookie_ = 0;
    running_ = false;
    shared_bars_context()->alive = false;
    saved_bars().reset();   // customizations live as long as this session
    if (running_application().get() == this) running_application().reset();
    addins.reset();
    root_.reset();
}

void application::load_mailbox() {
    root_ = make<folder>(self(), L"Mailbox", 0, std::weak_ptr<folder>());
    const std::pair<const wchar_t*, int> folders[] = {{L"Inbox", 0},       {L"Calendar", 1}, {L"Contacts", 2},
                                                      {L"Deleted Items", 0}, {L"Outbox", 0},   {L"Sent Items", 0}};
    for (auto [name, type] : folders) root_->children.push_back(make<folder>(self(), name, type, root_));
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
    default: return nullptr;
    }
    return find_folder(name);
}

std::shared_ptr<folder> application::find_folder(const std::wstring& name_or_path) const {
    std::vector<std::shared_ptr<folder>> pending{root_};
    while (!pending.empty()) {
        auto f = pending.back();
        pending.pop_back();
        if (::_wcsicmp(f->name().c_str(), name_or_path.c_str()) == 0 || f->path() == name_or_path) return f;
        pending.insert(pending.end(), f->children.begin(), f->children.end());
    }
    return nullptr;
}

std::shared_ptr<explorer> application::open_explorer(std::shared_ptr<folder> current, bool announce) {
    auto window = make<explorer>(self(), std::move(current));
    explorers.push_back(window);
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
    auto window = make<inspector>(self(), std::move(item));
    inspectors.push_back(window);
    ComPtr<IDispatch> d = window->dispatch();
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = d.Get();
    inspectors_object->fire(ids::DIID_InspectorsEvents, ids::kNewInspector, {&arg, 1});
    if (!window->closed()) window->activate();
    return window;
}

void application::window_activated(const std::shared_ptr<window_object>& window) {
    auto previous = active_.lock();
    if (previous == window) return;
    active_ = window;
    if (previous && !previous->closed()) {
        const IID events = std::dynamic_pointer_cast<explorer>(previous) ? ids::DIID_ExplorerEvents : ids::DIID_InspectorEvents;
        previous->fire(events, ids::kDeactivate, {});
    }
    const IID events = std::dynamic_pointer_cast<explorer>(window) ? ids::DIID_ExplorerEvents : ids::DIID_InspectorEvents;
    window->fire(events, ids::kActivate, {});
}

void application::explorer_closed(const std::shared_ptr<explorer>& closed) {
    std::erase(explorers, closed);
    if (active_.lock() == closed) {
        active_.reset();
        if (!explorers.empty() && !quitting_) explorers.back()->activate();
    }
}

void application::inspector_closed(const std::shared_ptr<inspector>& closed) {
    std::erase(inspectors, closed);
    if (active_.lock() == closed) {
        active_.reset();
        if (!explorers.empty() && !quitting_) explorers.back()->activate();
    }
}

std::shared_ptr<explorer> application::active_explorer() const {
    if (auto window = std::dynamic_pointer_cast<explorer>(active_.lock()); window && !window->closed()) return window;
    return explorers.empty() ? nullptr : explorers.front();
}

std::shared_ptr<inspector> application::active_inspector() const {
    if (auto window = std::dynamic_pointer_cast<inspector>(active_.lock()); window && !window->closed()) return window;
    return inspectors.empty() ? nullptr : inspectors.back();
}

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
