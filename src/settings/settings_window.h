// The settings window Tfset: its controls hold the settings record that every
// command reads; the show handler loads "settings.ini" into them and OK saves
// them. Created hidden (computing the work folder) at the host's start-up,
// which waits for it: its fonts and pictures, which nobody sees before it
// shows, come with its first showing. Shown modally. UI thread only; creation
// throws hresult_error, the handlers report to the user.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "com/unique_res.h"
#include "core/analysis/header_evaluation.h"
#include "net/http_client.h"
#include "settings/settings_store.h"
#include "settings/about_box.h"
#include "ui/user_dialogs.h"
#include "ui/window_base.h"

namespace flinter {

class Tfset final : public window_base {
public:
    enum control_id : int {
        Button1 = IDOK, Button2 = IDCANCEL, Button3 = 100,
        Edit1 = 110, Edit2, Edit3, Edit4, CheckBox1, cb1, cb2, cb3, Panel1, Label11, Label3,
        Label1 = 130, Label8, Label7, Label6, Label9, Label10, Image1, GroupBox1, GroupBox2, GroupBox3,
        Panel2, Panel3, ProgramIcon,
    };

    // owner: the host window in front at start-up, or null. work_folder: where
    // "settings.ini" lives; it becomes the add-in's work folder. user_folder:
    // where the user's own copy lives when the work folder's cannot be written.
    Tfset(HWND owner, TAboutBox& about, user_dialogs dialogs = library_dialogs(),
          std::string work_folder = ProcessWorkFolder(), std::string user_folder = UserSettingsFolder());
    ~Tfset() { destroy(); }

    // The work folder's settings file, and the user's own copy.
    const std::string& ini_path() const noexcept { return location_.work_file(); }
    const std::string& user_ini_path() const noexcept { return location_.user_file(); }

    // The settings record as the controls hold it now.
    settings_record record() const;
    void set_record(const settings_record& record);
    // The record's three section switches alone: what each refresh of the
    // information window reads (each control looked up is a server call under Wine).
    TSectionSwitches section_switches() const;
    std::int32_t panel1_color() const noexcept { return panel1_color_; }
    void set_panel1_color(std::int32_t color);

    bool update_available() const noexcept { return update_available_; }
    // Stores the flag and shows Label11 exactly when it is true.
    void set_update_available(bool available);

    // The show handler: Load, then the update-check decision. May throw from
    // the decision; the settings are loaded by then.
    void FormShow();

    // Runs the show handler and shows the window modally; IDOK or IDCANCEL.
    // Throws hresult_error at once when the native window is gone.
    int ShowModal();

    // The update request; its events arrive on the thread that created the window.
    net::TAdvHttp& http() noexcept { return http_; }

    // The largest update page kept: the page is fetched over plain HTTP, and
    // an endless answer must not grow the host's process without bound.
    static constexpr std::size_t kUpdatePageLimit = 64 * 1024;
    // A moved update page needs a redirect or two; a server that redirects in
    // a loop must not keep the check running for the rest of the session.
    static constexpr int kUpdateRedirectLimit = 5;

private:
    void build_controls() override;
    // Fonts and pictures, as the window first appears.
    void dress_for_showing();
    std::optional<LRESULT> handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_command(int id, int code);
    void ok_clicked();
    void configure_update_request();
    // A week after the last completed check, starts the request in the
    // background; otherwise Label11 follows the stored update-available flag.
    void start_update_check_if_due(double last_check);
    void update_check_completed();
    void choose_background();
    std::optional<LRESULT> color_static(HDC dc, HWND control);

    TAboutBox& about_;
    user_dialogs dialogs_;
    std::string work_folder_;
    settings_location location_;
    unique_hfont font_;
    unique_hfont title_font_;
    unique_hfont link_font_;
    unique_hbitmap logo_;
    unique_hbitmap deleted_items_;
    unique_hbrush white_;
    unique_hbrush red_;
    unique_hbrush panel1_brush_;
    std::int32_t panel1_color_ = kDefaultBackground;
    bool update_available_ = false;
    struct unrecorded_update_check {
        double when;
        bool update_available;
    };
    std::optional<unrecorded_update_check> unrecorded_check_;
    int modal_result_ = 0;
    bool shown_before_ = false;
    bool dressed_ = false;
    // Its events arrive through its own window and stop when its destruction begins.
    net::TAdvHttp http_;
};

}  // namespace flinter
