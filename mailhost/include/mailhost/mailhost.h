/* Test-driving entry points of the simulated Outlook (mailhost.dll).
   Everything runs on the calling thread, which must be in a single-threaded
   apartment; one simulated Outlook runs per process at a time. Explorers and
   inspectors are numbered from 1 in order of opening; folders are named by
   name ("Inbox") or path ("Mailbox\Inbox"). Strings returned as BSTR belong
   to the caller (SysFreeString). */
#pragma once

#include <windows.h>
#include <oaidl.h>

#ifdef MAILHOST_BUILD
#define MAILHOST_API extern "C" __declspec(dllexport)
#else
#define MAILHOST_API extern "C" __declspec(dllimport)
#endif

struct mailhost_options {
    const wchar_t* mailbox;     /* folder of .eml files loaded into the Inbox; null: empty store */
    const wchar_t* outbox_dir;  /* where Send writes messages; null: %TEMP%\mailhost-outbox */
    int explorers;              /* explorer windows open at start, showing the Inbox */
    const wchar_t* addins;      /* ProgIDs to load, ';'-separated; "*": every registered one; null: none */
    int register_running;       /* RegisterActiveObject while running */
    int picture_support;        /* buttons offer Picture and Mask (as modern hosts do) */
};

/* Starts Outlook (add-ins connect, OnStartupComplete); *application is AddRef'd. */
MAILHOST_API HRESULT mailhost_start(const mailhost_options* options, IDispatch** application);
/* Shuts Outlook down as the user would (Close events, Quit, add-ins disconnect). */
MAILHOST_API HRESULT mailhost_quit(void);
MAILHOST_API BOOL mailhost_running(void);

/* Windows. open_explorer fires NewExplorer and, when activate, Activate. */
MAILHOST_API HRESULT mailhost_open_explorer(const wchar_t* folder, BOOL activate, int* index);
MAILHOST_API HRESULT mailhost_activate_explorer(int explorer);
MAILHOST_API HRESULT mailhost_close_explorer(int explorer);
MAILHOST_API int mailhost_explorer_count(void);
/* Selects items (1-based positions in the explorer's current folder); fires SelectionChange. */
MAILHOST_API HRESULT mailhost_select(int explorer, const int* items, int count);
/* Fires BeforeFolderSwitch/FolderSwitch; *cancelled tells whether a sink cancelled. */
MAILHOST_API HRESULT mailhost_switch_folder(int explorer, const wchar_t* folder, BOOL* cancelled);
MAILHOST_API HRESULT mailhost_switch_view(int explorer, const wchar_t* view, BOOL* cancelled);
MAILHOST_API HRESULT mailhost_open_inspector(const wchar_t* folder, int item, int* index);
MAILHOST_API HRESULT mailhost_close_inspector(int inspector);
/* The window handle of an explorer; null when there is none. */
MAILHOST_API HWND mailhost_explorer_window(int explorer);

/* Fires an event of an object: "Application", "Explorers", "Inspectors", "NameSpace",
   "Explorer<n>", "Inspector<n>". args in declaration order. */
MAILHOST_API HRESULT mailhost_fire(const wchar_t* object, DISPID id, VARIANT* args, int count);

/* Command bars: the user clicks the first control with this tag in an explorer's bars.
   Click goes to every control sharing the tag; *cancel_default as the sinks left it. */
MAILHOST_API HRESULT mailhost_click(int explorer, const wchar_t* tag, BOOL* cancel_default);
MAILHOST_API HRESULT mailhost_change(int explorer, const wchar_t* tag, const wchar_t* text);
/* A button's face: source 0 none, 1 FaceId, 2 Picture, 3 PasteFace; pixels 0x00RRGGBB
   top-down (capacity in pixels, may be 0 to ask for the size); mask pixels when mask is set. */
MAILHOST_API HRESULT mailhost_button_face(int explorer, const wchar_t* tag, BOOL mask, int* source, int* width,
                                          int* height, DWORD* pixels, int capacity);

/* Add-ins: the user switches one on (ext_cm_AfterStartup) or off (ext_dm_UserClosed). */
MAILHOST_API HRESULT mailhost_connect_addin(const wchar_t* prog_id, BOOL connect);

/* Mail store. */
MAILHOST_API HRESULT mailhost_add_message(const wchar_t* folder, const char* eml, int item_class);
MAILHOST_API int mailhost_folder_count(const wchar_t* folder);
/* The .eml file the last Send wrote. */
MAILHOST_API BSTR mailhost_last_sent_file(void);
/* A message of the store as an item's MAPIObject hands it out, for tests of MAPI
   readers; needs no running Outlook. Its IMessage::GetProps serves
   PR_TRANSPORT_MESSAGE_HEADERS_A (headers; null: the message has none) in memory
   from MAPI32's MAPIAllocateBuffer, and logs "IMessage.GetProps". *message is AddRef'd. */
MAILHOST_API HRESULT mailhost_create_message(const char* headers, IUnknown** message);

/* Fault injection: object kind ("Explorer", "MailItem", "CommandBars", ...) and member
   ("*" = any; also "Advise", "Unadvise", "FindConnectionPoint"). */
MAILHOST_API void mailhost_fail(const wchar_t* kind, const wchar_t* member, HRESULT hr, int times);
MAILHOST_API void mailhost_clear_faults(void);
/* One line per call: "Kind.Member" (get or call), "Kind.Member=" (put), events, add-in calls. */
MAILHOST_API BSTR mailhost_call_log(void);
MAILHOST_API void mailhost_clear_call_log(void);
/* Reference audit: one line "Kind#serial refs" per object with references handed out. */
MAILHOST_API BSTR mailhost_outstanding_refs(void);
MAILHOST_API long mailhost_outstanding_ref_count(void);

/* Registers / unregisters the simulated Outlook.Application in this process's registry
   view; refused outside Wine unless MAILHOST_ALLOW_REGISTER=1. */
MAILHOST_API HRESULT mailhost_register(void);
MAILHOST_API HRESULT mailhost_unregister(void);
