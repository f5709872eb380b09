// What the user of the simulated Outlook sees at one moment: the explorer and
// inspector windows (which take input, which folder, which rows, the add-in's
// bar or ribbon group), the add-in's windows, the message boxes shown and the COM Add-ins
// dialog. Read from the windows and, for what an explorer draws, from the
// host's object model. Host thread only; never throws (what cannot be read
// counts as not shown).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

namespace journeys {

inline constexpr wchar_t kBarName[] = L"QAV_Flinter";
inline constexpr const wchar_t* kButtons[] = {L"Spam", L"Settings", L"Analyzer", L"Login"};

struct window_seen {
    HWND handle = nullptr;
    bool visible = false;
    bool enabled = false;
    // The user can act in it.
    bool usable() const { return handle && visible && enabled; }
};

struct explorer_seen {
    window_seen window;
    bool in_front = false;          // the window the host has activated last
    std::wstring folder;            // its path, "Mailbox\Inbox"
    int item_type = -1;             // the folder's DefaultItemType
    int rows = 0;                   // messages in the folder
    int selected = 0;
    int bar_copies = 0;             // bars named QAV_Flinter in its command bars
    bool bar_shown = false;         // the window draws the bar
    std::vector<std::wstring> buttons;   // the add-in's buttons the window draws on its bar
    std::vector<std::wstring> ribbon_buttons;   // ... and in its group on the ribbon (Outlook 2010 and later)
    // The window takes input and draws the button, on the bar or on the ribbon.
    bool shows_button(const std::wstring& caption) const;
    bool shows_on_ribbon(const std::wstring& caption) const;
};

struct box_seen {
    window_seen window;
    std::wstring caption, text;
    HWND owner = nullptr;
};

struct user_view {
    bool running = false;
    std::vector<explorer_seen> explorers;   // numbered from 1 as the host numbers them
    std::vector<window_seen> inspectors;
    int inspector_bar_copies = 0;           // bars named QAV_Flinter in the inspectors' command bars
    window_seen settings, about, info, header, addins_dialog;
    std::vector<box_seen> boxes;            // message boxes shown, in no particular order

    // Some window of Outlook or of the add-in takes the user's input.
    bool user_can_act() const;
    // The number of the explorer with this window, or 0.
    int explorer_number(HWND window) const;
    const explorer_seen* in_front() const;
};

user_view look(IDispatch* application);

// The window handle of a host window object (IOleWindow), or null.
HWND window_of(IDispatch* object) noexcept;

// A window's text; for a rich edit its paragraphs end in "\r\n".
std::wstring text_of(HWND window);

}  // namespace journeys
