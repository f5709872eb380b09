// Office command bars as one host window holds them: the collection, bars,
// their controls collections and controls (buttons, edits, lists, combos,
// popups), with Click/Change events through connection points.
// Host thread only; handlers throw host_error.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "host_object.h"

namespace mailhost {

// Shared by every bar of one application: what the host supports and whether it runs.
struct bars_context {
    bool picture_support = true;
    bool alive = true;
};

class command_bar;
class controls_object;

enum control_type { kButton = 1, kEdit = 2, kDropdown = 3, kComboBox = 4, kPopup = 10 };

struct face {
    int source = 0;   // 0 none, 1 FaceId, 2 Picture, 3 PasteFace
    int width = 0, height = 0;
    std::vector<DWORD> pixels, mask;   // 0x00RRGGBB, top row first; mask white where see-through
    int mask_width = 0, mask_height = 0;
};

class control : public host_object {
public:
    control(std::shared_ptr<bars_context> context, int type, int id, bool builtin, bool temporary);
    ~control() override;
    int type() const { return type_; }
    int id() const { return id_; }
    const std::wstring& tag() const { return tag_; }
    const std::wstring& caption() const { return caption_; }
    const std::wstring& text() const { return text_; }
    const std::vector<std::wstring>& list() const { return list_; }
    bool visible() const { return visible_; }
    bool enabled() const { return enabled_; }
    bool begin_group() const { return begin_group_; }
    int style() const { return style_; }   // MsoButtonStyle
    int state() const { return state_; }   // MsoButtonState: 0 up, 1 down
    int width() const { return width_; }
    bool builtin() const { return builtin_; }
    bool temporary() const { return temporary_; }
    std::shared_ptr<command_bar> owner() const { return owner_.lock(); }
    std::shared_ptr<command_bar> popup_bar() const { return popup_; }
    const face& button_face() const { return face_; }
    void attach(const std::shared_ptr<command_bar>& owner) { owner_ = owner; }
    // Whether the user can reach it: shown and enabled, in a bar that is shown
    // and enabled (or a popup whose control is reachable).
    bool reachable() const;
    std::wstring fault_tag() const override { return tag_; }
    // Marks this control (and a popup's contents) gone; held references then
    // fail. One gone with its window still hears the clicks of its tag.
    void mark_deleted(bool with_window = false);
    // A copy for a new window, without temporary contents.
    std::shared_ptr<control> clone(const std::shared_ptr<bars_context>& context) const;
    // The user clicks (buttons) or changes the text (lists); returns CancelDefault.
    bool click();
    void change(const std::wstring& text);
    // A user's action on this control, by any way in: refused (logged, and
    // MAILHOST_E_UNREACHABLE) when the user cannot reach it now.
    HRESULT click_as_user(bool* cancel_default);
    HRESULT change_as_user(const std::wstring& text);

protected:
    void check_usable() const override;
    bool offers(const std::wstring& name) const override;

private:
    void register_members();
    void register_button_members();
    void register_list_members();
    void put_picture(const call_args& args, bool mask);
    flinter::variant get_picture(bool mask) const;
    void paste_face();
    void move(const call_args& args);
    void remove();

    std::shared_ptr<bars_context> context_;
    std::weak_ptr<command_bar> owner_;
    int type_, id_;
    bool builtin_, temporary_;
    bool deleted_ = false, window_closed_ = false;
    bool begin_group_ = false, enabled_ = true, visible_ = true;
    std::wstring caption_, description_, help_file_, parameter_, tag_, tooltip_, on_action_;
    int height_ = 22, width_ = 23, help_context_ = 0, priority_ = 0;
    int face_id_ = 0, state_ = 0, style_ = 0, hyperlink_type_ = 0;
    std::wstring shortcut_;
    face face_;
    std::wstring text_;
    std::vector<std::wstring> list_;
    int list_index_ = 0;
    std::shared_ptr<command_bar> popup_;
    friend class command_bar;
    friend class command_bars;
    friend class controls_object;
};

class command_bar : public host_object {
public:
    command_bar(std::shared_ptr<bars_context> context, std::wstring name, int position, bool builtin,
                bool temporary, int bar_type);
    const std::wstring& name() const { return name_; }
    const std::wstring& name_local() const { return name_local_; }
    bool builtin() const { return builtin_; }
    int position() const { return position_; }   // MsoBarPosition
    int bar_type() const { return bar_type_; }   // 0 normal, 1 menu bar, 2 popup
    bool visible() const { return visible_; }
    bool enabled() const { return enabled_; }
    int left() const { return left_; }
    int top() const { return top_; }
    int row_index() const { return row_index_; }
    bool temporary() const { return temporary_; }
    std::vector<std::shared_ptr<control>>& controls() { return controls_; }
    const std::vector<std::shared_ptr<control>>& controls() const { return controls_; }
    // Adds a control as Controls.Add does; before is 1-based, 0 appends.
    std::shared_ptr<control> add(int type, int id, const std::wstring& parameter, int before, bool temporary);
    void insert(std::shared_ptr<control> item, int before);
    std::size_t index_of(const control* item) const;
    void detach(const control* item);
    std::shared_ptr<control> find(int type, int id, const std::wstring* tag, bool visible_only,
                                  bool recursive) const;
    void mark_deleted(bool with_window = false);
    bool deleted() const { return deleted_; }
    bool reachable() const;
    std::shared_ptr<command_bar> clone(const std::shared_ptr<bars_context>& context) const;
    void set_collection(std::weak_ptr<host_object> collection) { collection_ = std::move(collection); }
    flinter::variant controls_variant();

protected:
    void check_usable() const override;

private:
    void register_members();
    std::shared_ptr<bars_context> context_;
    std::wstring name_, name_local_;
    int position_;
    bool builtin_, temporary_;
    int bar_type_;   // 0 normal, 1 menu bar, 2 popup
    bool enabled_ = true, visible_ = false;
    int protection_ = 0, left_ = 0, top_ = 0, row_index_ = 1;
    bool deleted_ = false;
    std::vector<std::shared_ptr<control>> controls_;
    std::shared_ptr<controls_object> controls_object_;
    std::weak_ptr<host_object> collection_;
    std::weak_ptr<control> opener_;   // the popup control this bar drops down from
    friend class control;
    friend class command_bars;
    friend class controls_object;
};

class command_bars : public host_object {
public:
    explicit command_bars(std::shared_ptr<bars_context> context);
    // The built-in bars of an explorer window.
    static std::shared_ptr<command_bars> builtin(std::shared_ptr<bars_context> context);
    std::shared_ptr<command_bars> clone_persistent(const std::shared_ptr<bars_context>& context) const;
    std::vector<std::shared_ptr<command_bar>>& bars() { return bars_; }
    std::shared_ptr<control> find(int type, int id, const std::wstring* tag, bool visible_only) const;
    // The first control with this tag the user can reach, else the first with it at all.
    std::shared_ptr<control> find_for_user(const std::wstring& tag) const;
    void add_bar(std::shared_ptr<command_bar> bar);
    // The window closed: every bar and control goes.
    void close();

protected:
    void check_usable() const override;

private:
    void register_members();
    std::shared_ptr<bars_context> context_;
    std::vector<std::shared_ptr<command_bar>> bars_;
    bool closed_ = false;
    int custom_count_ = 0;
};

}  // namespace mailhost
