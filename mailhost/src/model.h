// The simulated Outlook: the application and the windows, folders and items
// it owns. One application runs per process at a time. Host thread only;
// member handlers throw host_error, which host_object turns into HRESULTs.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "com/unique_res.h"
#include "command_bars.h"
#include "host_object.h"
#include "mailhost/mailhost.h"

namespace mailhost {

class application;
class folder;
class explorer;
class inspector;
class name_space;
class explorers_list;
class inspectors_list;
class addin_manager;
class explorer_view;

// An object of a running application; fails with RPC_E_DISCONNECTED once it quit.
class app_object : public host_object {
public:
    app_object(std::shared_ptr<application> app, std::wstring kind, std::vector<IID> interfaces);
    application& app() const;

protected:
    void check_usable() const override;
    std::weak_ptr<application> app_;
};

struct recipient_entry {
    std::wstring address;
    int type;   // 1 To, 2 CC, 3 BCC
};

struct attachment_entry {
    std::wstring file_name;
    std::string content;
};

class mail_item : public app_object {
public:
    mail_item(std::shared_ptr<application> app, std::string eml, int item_class);
    std::shared_ptr<folder> parent() const { return parent_.lock(); }
    void move_to(const std::shared_ptr<folder>& target);
    const std::wstring& subject() const { return subject_; }
    const std::wstring& sender() const { return from_; }
    const std::wstring& body() const { return body_; }
    // The Date line of the transport headers, as written there; empty when none.
    std::wstring received() const;
    const std::string& headers() const { return headers_; }
    bool has_headers() const { return !headers_.empty(); }
    std::string compose_eml() const;
    std::wstring to_line() const;
    void display();

private:
    std::shared_ptr<mail_item> self() { return std::static_pointer_cast<mail_item>(shared_from_this()); }
    void register_members();
    std::shared_ptr<mail_item> forward();
    void send();
    void remove();
    void save_as(const std::wstring& path) const;

    friend class recipients_view;
    friend class attachments_view;
    std::weak_ptr<folder> parent_;
    int item_class_;
    std::string raw_;          // the message as loaded; empty for items made here
    bool modified_ = false;
    std::string headers_;      // transport header block, CR LF line ends
    std::wstring subject_, body_, from_;
    std::vector<recipient_entry> recipients_;
    std::vector<attachment_entry> attachments_;
    bool sent_ = false;
};

class folder : public app_object {
public:
    folder(std::shared_ptr<application> app, std::wstring name, int item_type, std::weak_ptr<folder> parent);
    const std::wstring& name() const { return name_; }
    // Names from the store's top folder down, joined by "\" ("Mailbox\Inbox").
    std::wstring path() const;
    std::shared_ptr<folder> add_child(const std::wstring& name, int item_type);
    std::vector<std::shared_ptr<mail_item>> items;
    std::vector<std::shared_ptr<folder>> children;

private:
    std::wstring name_;
    int item_type_;
    std::weak_ptr<folder> parent_;
};

// A window of the host (explorer or inspector): a real top-level window, gone
// when the window closes, and command bars. Closing the window on the screen
// closes it in the model; a click that brings it to the front activates it.
class window_object : public app_object {
public:
    window_object(std::shared_ptr<application> app, std::wstring kind, std::vector<IID> interfaces,
                  const std::wstring& caption, const RECT& frame);
    HWND window() const override { return hwnd_.get(); }
    bool closed() const { return closed_; }
    std::shared_ptr<command_bars> bars() const { return bars_; }
    // The user brings the window to the front: Deactivate for the window that
    // had the focus, then Activate (also for a window in front that never had it).
    void activate();
    virtual void close() = 0;
    virtual const IID& events() const = 0;
    // A message of the window; true when handled, with its result. May throw:
    // the window procedure is the boundary.
    virtual bool on_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

protected:
    // Ends the window on the screen; the object lives on for its clients.
    void destroy_window() { hwnd_.reset(); }
    flinter::unique_hwnd hwnd_;
    bool closed_ = false;
    std::shared_ptr<command_bars> bars_;
};

class explorer : public window_object {
public:
    explorer(std::shared_ptr<application> app, std::shared_ptr<folder> current, const RECT& frame);
    ~explorer() override;
    std::shared_ptr<folder> current_folder() const { return folder_; }
    const std::vector<std::shared_ptr<mail_item>>& selection() const { return selection_; }
    explorer_view& view() const { return *view_; }
    // What the window shows changed; it is drawn again when messages next flow.
    void repaint() noexcept;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    // Fires BeforeFolderSwitch and, unless a sink cancels, switches and fires FolderSwitch.
    bool switch_folder(const std::shared_ptr<folder>& target);
    bool switch_view(const std::wstring& view);
    void select(std::vector<std::shared_ptr<mail_item>> items);
    void close() override;
    const IID& events() const override;
    void fire_simple(DISPID id);

private:
    std::shared_ptr<folder> folder_;
    std::vector<std::shared_ptr<mail_item>> selection_;
    std::wstring view_name_ = L"Messages";
    std::unique_ptr<explorer_view> view_;
};

class inspector : public window_object {
public:
    inspector(std::shared_ptr<application> app, std::shared_ptr<mail_item> item, const RECT& frame);
    void close() override;
    const IID& events() const override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    const std::shared_ptr<mail_item>& item() const { return item_; }

private:
    std::shared_ptr<mail_item> item_;
};

struct mailbox_options {
    std::wstring mailbox;
    std::wstring outbox_dir;
    int explorers = 1;
    bool load_all_addins = false;
    std::vector<std::wstring> addins;
    bool register_running = false;
    bool picture_support = true;
    bool keep_command_bars = false;   // the bars the last session saved, as Office's own file keeps them
    int version = 11;                 // Outlook's major version: 11 (2003), 14 (2010) or 16 (2016 and later)
};

class application : public host_object {
public:
    explicit application(mailbox_options options);
    ~application() override;
    // Builds the store and the windows, loads the add-ins; the caller keeps the result.
    static std::shared_ptr<application> start(mailbox_options options);
    void quit();
    bool running() const { return running_; }

    // A folder by path ("Mailbox\Inbox") or, failing that, by name.
    std::shared_ptr<folder> find_folder(const std::wstring& name_or_path) const;
    // The folder behind an object a client passes back; null when it is none of this store's.
    std::shared_ptr<folder> folder_of(IUnknown* object) const;
    std::shared_ptr<folder> default_folder(int id) const;
    std::shared_ptr<folder> root() const { return root_; }
    std::shared_ptr<explorer> open_explorer(std::shared_ptr<folder> current, bool announce);
    std::shared_ptr<inspector> open_inspector(std::shared_ptr<mail_item> item);
    void window_activated(const std::shared_ptr<window_object>& window);
    // A window closed: the next one comes to the front; with no window left Outlook quits.
    void window_closed(const std::shared_ptr<window_object>& closed);
    // Leaves the running-object table (GetActiveObject then finds no Outlook).
    void leave_running_object_table();

    std::vector<std::shared_ptr<explorer>> explorers;
    std::vector<std::shared_ptr<inspector>> inspectors;
    // The most recently activated open explorer, inspector, window; null when none.
    std::shared_ptr<explorer> active_explorer() const;
    std::shared_ptr<inspector> active_inspector() const;
    std::shared_ptr<window_object> active_window() const;
    std::shared_ptr<explorers_list> explorers_object;
    std::shared_ptr<inspectors_list> inspectors_object;
    std::shared_ptr<name_space> session;
    std::unique_ptr<addin_manager> addins;
    const mailbox_options& options() const { return options_; }
    // Where Send writes the next message; returns the file written.
    std::wstring write_sent(const std::string& eml);
    std::wstring last_sent_file;
    flinter::variant namespace_variant();
    // Fires an event of "Application", "Explorers", "Inspectors" or "NameSpace"; false for other names.
    bool fire_collection(const std::wstring& name, DISPID id, std::span<VARIANT> args);
    bool picture_support() const { return options_.picture_support; }
    // Outlook 2010 and later have a ribbon in their windows.
    bool has_ribbon() const { return options_.version >= 14; }
    // Built-in and saved bars for a new window.
    std::shared_ptr<command_bars> bars_for_new_window();
    void keep_customizations(const std::shared_ptr<command_bars>& bars);

    // User actions as window messages: queued while queueing is on, run when
    // the host thread next dispatches messages (a handler's modal loop, say).
    using user_action = std::function<HRESULT()>;
    bool queueing_user_actions() const { return queueing_; }
    void queue_user_actions(bool queue) { queueing_ = queue; }
    HRESULT perform(user_action action);
    void run_next_queued_action();

protected:
    void check_usable() const override;

private:
    std::shared_ptr<application> self() { return std::static_pointer_cast<application>(shared_from_this()); }
    void load_mailbox();
    void register_members();

    mailbox_options options_;
    bool running_ = false;
    bool quitting_ = false;
    void create_input_window();

    std::shared_ptr<folder> root_;
    std::vector<std::weak_ptr<window_object>> front_to_back_;   // open windows, most recently activated first
    std::weak_ptr<window_object> focused_;                        // the window that last received Activate
    DWORD rot_cookie_ = 0;
    int sent_count_ = 0;
    bool queueing_ = false;
    std::deque<user_action> queued_;
    flinter::unique_hwnd input_window_;   // receives the queued actions' messages
};

// The running application of this process, or null.
std::shared_ptr<application>& running_application();

}  // namespace mailhost
