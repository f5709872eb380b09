/* Test-driving entry points of the simulated Outlook (mailhost.dll).
   Everything runs on the calling thread, which must be in a single-threaded
   apartment; one simulated Outlook runs per process at a time. Explorers and
   inspectors are numbered from 1 in order of opening (the numbers of the
   windows after a closed one move down); folders are named by path
   ("Mailbox\Inbox") or by name ("Inbox", the one nearest the top). Strings
   returned as BSTR belong to the caller (SysFreeString).

   What it models, as Outlook 2003 (11.0) with Office's command bars behaves:

   - The object model is reached by name: GetIDsOfNames (names matched without
     regard to case) and Invoke. There is no type information, no DISPID_VALUE
     and no _NewEnum: collections are walked with Count and Item(1..Count).
     Asking an object for a typed interface (_Application, _Explorer,
     _CommandBars, CommandBarControl, COMAddIn...) is a QueryInterface check
     that answers with the object's IDispatch; the caller goes on by name.
   - A member's own failure comes back as Outlook's do, DISP_E_EXCEPTION with an
     EXCEPINFO carrying the scode and a text; failures of the automation layer
     (unknown member, wrong argument type or count, named arguments) come back
     from Invoke as themselves.
   - Events go through connection points, arguments last-first, by-reference
     ones (Cancel) read back. A connection point asks the sink for the event
     interface itself and refuses a sink that answers only IDispatch.
   - Start: add-ins registered under Software\Microsoft\Office\Outlook\AddIns in
     HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE (a ProgID registered in both
     loads once, as the user's), with LoadBehavior 3 get OnConnection
     (ext_cm_Startup); then every connected add-in gets OnAddInsUpdate; then the
     Startup event and OnStartupComplete; then the first explorer comes to the
     front and receives Activate.
   - An add-in call that fails is logged after it ("addin <ProgID>.<call> failed:
     0x..."). An add-in whose OnConnection fails is released, its COMAddIn.Object cleared,
     and its LoadBehavior written as not connected (3 becomes 2) where it is
     registered; it gets no other call. Switching an add-in on or off in the COM
     Add-ins dialog (mailhost_connect_addin, or COMAddIn.Connect) writes
     LoadBehavior the same way (bit 0); after it, every connected add-in gets
     OnAddInsUpdate. Switching off calls OnDisconnection(ext_dm_UserClosed) only.
   - Outlook started through COM (CoCreateInstance of Outlook.Application, after
     mailhost_register) opens no window, loads every registered add-in and
     enters the running-object table; a second creation gets the same Outlook.
   - Shutdown: mailhost_quit, Application.Quit, or the last window (explorer or
     inspector) closing, whoever still holds references (as Outlook 2007 SP2 and
     later end): windows close (Close events), the Quit event, OnBeginShutdown
     for every connected add-in, then OnDisconnection(ext_dm_HostShutdown) for
     each (Outlook 2003's order; the fast shutdown of Outlook 2010, which skips
     both, is not modelled). Objects then fail with RPC_E_DISCONNECTED and every
     sink still advised is released.
   - ActiveExplorer, ActiveInspector and ActiveWindow are the most recently
     activated open window of their kind (windows opened without activation
     queue behind); activating another window fires Deactivate on the one in
     front, then Activate. When the window in front closes, the next one is
     activated.
   - Command bars: each explorer has its own collection with the built-in Menu
     Bar, Standard and Advanced bars; new bars start hidden. A click or a change
     reaches only a control the user can reach: shown and enabled, in a bar that
     is shown and enabled (for a popup's controls: the popup reachable). Click
     goes to every control that shares the Tag, as Office does: every open one,
     and one whose window closed while an add-in still holds it.
   - Non-temporary bars and controls are kept, with their properties, when a
     window closes (for new windows) and, with keep_command_bars, from one
     session to the next within the process, as Office keeps them in its file.
   - The store holds Outlook's default folders (Inbox, Calendar, Contacts,
     Deleted Items, Outbox, Sent Items, Drafts, Journal, Junk E-mail, Notes,
     Tasks) below a top folder "Mailbox"; tests add more (mailhost_add_folder).

   - Ribbon (versions 14.0 and 16.0): after an add-in's OnConnection, Outlook asks
     the add-in object for IRibbonExtensibility and calls
     GetCustomUI("Microsoft.Outlook.Explorer"); when the first inspector of a kind
     opens, GetCustomUI("Microsoft.Outlook.Mail.Read") (a received message) or
     ("Microsoft.Outlook.Mail.Compose"), once per add-in and id. An empty answer
     is no ribbon. The markup must be well-formed (MSXML parses it), every element
     in the custom UI namespace (2009/07, or Office 2007's 2006/01), ids unique,
     a tab's idMso one of Outlook's explorer tabs ("TabMail", "TabFolder",
     "TabView"...), and every callback attribute (onAction, getImage, onLoad...)
     a name the add-in's IDispatch answers (GetIDsOfNames): otherwise the call log
     gets "addin <ProgID> custom UI error in <ribbon id>: <reason>" and the
     add-in's ribbon is ignored. Then onLoad(IRibbonUI). Callbacks are called by
     name on the add-in object's IDispatch with an IRibbonControl (Id, Tag,
     Context: the explorer; typed and by name) and logged ("addin
     <ProgID>.<callback>(<control id>)", a failure after it with " failed:
     0x..."). getImage is asked when a button is first drawn or queried, again
     after IRibbonUI.Invalidate/InvalidateControl; a click logs "ribbon click
     <id>" and calls onAction. The explorer window draws a tab strip with Home
     and, on it, the groups of every add-in for the tab "TabMail" with their
     large buttons (picture, label). An add-in switched off or shut down loses
     its groups, and Outlook releases its IRibbonExtensibility and IRibbonUI.
     Command bars stay in the object model as in 11.0, but the window draws
     only the add-ins' bars, below the ribbon (Office 2010 shows them on its
     Add-Ins tab), not Office's own (Menu Bar, Standard, Advanced).

   Not modelled: type libraries and typed vtable calls (but IRibbonControl's and IRibbonUI's), Outlook's security
   prompts, Outlook 2000-2003's wait for external references before
   OnDisconnection, an automation-started Outlook ending when its last
   reference goes (it ends with Quit), demand loading (LoadBehavior 9/16), the
   property pages' own PropertyPage calls, views, searches, and any item kind
   but mail (items of other classes answer as mail items with their Class). */
#pragma once

#include <windows.h>
#include <oaidl.h>

#ifdef MAILHOST_BUILD
#define MAILHOST_API extern "C" __declspec(dllexport)
#else
#define MAILHOST_API extern "C" __declspec(dllimport)
#endif

/* A click or change on a control the user cannot reach (hidden, disabled, in a
   hidden or disabled bar): HRESULT_FROM_WIN32(ERROR_INVALID_STATE). */
#define MAILHOST_E_UNREACHABLE ((HRESULT)0x8007139FL)

struct mailhost_options {
    const wchar_t* mailbox;     /* folder of .eml files loaded into the Inbox; null: empty store */
    const wchar_t* outbox_dir;  /* where Send writes messages; null: %TEMP%\mailhost-outbox */
    int explorers;              /* explorer windows open at start, showing the Inbox */
    const wchar_t* addins;      /* ProgIDs to load, ';'-separated; "*": every registered one; null: none */
    int register_running;       /* RegisterActiveObject while running */
    int picture_support;        /* buttons offer Picture and Mask (as modern hosts do) */
    int keep_command_bars;      /* start with the bars the last session kept; 0: a fresh profile */
    int keep_armed_faults;      /* faults armed before the start stay armed, to strike during it */
    int no_audit;               /* objects go at their last Release and no call is logged, as in
                                   Outlook, for memory figures; 0: the audit below */
    const wchar_t* version;     /* Outlook's version: "11.0" (null: Outlook 2003, no ribbon), "14.0"
                                   (2010) or "16.0" (2016 and later), both with a ribbon; another
                                   value fails the start with E_INVALIDARG. Application.Version
                                   answers it ("16.0.0.<build>"). */
};

/* Starts Outlook (add-ins connect, OnStartupComplete); *application is AddRef'd.
   Each start begins a clean test: armed faults (unless keep_armed_faults), the
   count of injected failures, the call log, a clipboard hold, the sink report
   and the objects the last session left dead are cleared. */
MAILHOST_API HRESULT mailhost_start(const mailhost_options* options, IDispatch** application);
/* Shuts Outlook down as the user would (Close events, Quit, add-ins disconnect). */
MAILHOST_API HRESULT mailhost_quit(void);
MAILHOST_API BOOL mailhost_running(void);

/* User actions: mailhost_activate_explorer, _close_explorer, _select,
   _switch_folder, _switch_view, _close_inspector, _click, _change and
   _connect_addin act at once, or, while queueing is on, are posted as window
   messages to the host thread and run when it next dispatches messages (as
   input reaches Outlook while a handler shows a modal window). Queued actions
   report failures in the call log ("queued action failed: 0x..."), not to the
   caller, and leave their out-parameters FALSE. */
MAILHOST_API HRESULT mailhost_queue_user_actions(BOOL queue);

/* Windows. open_explorer fires NewExplorer and, when activate, Deactivate/Activate. */
MAILHOST_API HRESULT mailhost_open_explorer(const wchar_t* folder, BOOL activate, int* index);
MAILHOST_API HRESULT mailhost_activate_explorer(int explorer);
MAILHOST_API HRESULT mailhost_close_explorer(int explorer);
MAILHOST_API int mailhost_explorer_count(void);
/* Selects items (1-based positions in the explorer's current folder); fires SelectionChange. */
MAILHOST_API HRESULT mailhost_select(int explorer, const int* items, int count);
/* Fires BeforeFolderSwitch/FolderSwitch; *cancelled tells whether a sink cancelled. */
MAILHOST_API HRESULT mailhost_switch_folder(int explorer, const wchar_t* folder, BOOL* cancelled);
MAILHOST_API HRESULT mailhost_switch_view(int explorer, const wchar_t* view, BOOL* cancelled);
/* Opens an item: NewInspector, then the inspector comes to the front. */
MAILHOST_API HRESULT mailhost_open_inspector(const wchar_t* folder, int item, int* index);
MAILHOST_API HRESULT mailhost_close_inspector(int inspector);
/* The window handle of an open explorer; null when there is none. */
MAILHOST_API HWND mailhost_explorer_window(int explorer);

/* An explorer's window shows, drawn from the object model as it stands: the
   command bars (shown bars and their shown controls; docked bars in rows by
   RowIndex and along a row by Left, floating bars at Left/Top; captions,
   faces with their masks, Style, Enabled, State, BeginGroup), a folder pane
   and the message list of the current folder. Its input is the user's: a
   click (press and release) on a control is mailhost_click's Click, on a
   folder a folder switch, on a row a selection (Ctrl+click adds or removes a
   row), a double click on a row opens the item; Up/Down move the selection;
   closing the window closes the explorer; a click that brings the window to
   the front activates it. Its system menu, or Ctrl+Shift+W, opens the
   current folder in a new explorer (MAILHOST_SC_NEW_WINDOW); Ctrl+Shift+A
   opens the COM Add-ins dialog (MAILHOST_SC_ADDINS).
   mailhost_locate: where the window shows an element, in client coordinates:
   "control:<caption without & or Tag>", "ribbon:<id or label>" (a ribbon button), "bar:<Name>", "folder:<name or path>",
   "item:<n>" (row n of the list); HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when
   it shows none (a hidden bar or control, a row scrolled away). */
MAILHOST_API HRESULT mailhost_locate(int explorer, const wchar_t* element, RECT* where);
/* The explorer window's own entries of its system menu (WM_SYSCOMMAND). */
#define MAILHOST_SC_NEW_WINDOW 0x0010
#define MAILHOST_SC_ADDINS 0x0020
/* Opens the COM Add-ins dialog over an explorer: a check box per registered
   add-in, OK and Cancel. OK switches on or off what was changed, as
   mailhost_connect_addin does; Cancel or closing leaves all as it was. The
   explorer takes no input while the dialog is open. */
MAILHOST_API HRESULT mailhost_open_addins_dialog(int explorer, HWND* dialog);

/* Fires an event of an object: "Application", "Explorers", "Inspectors", "NameSpace",
   "Explorer<n>", "Inspector<n>". args in declaration order. */
MAILHOST_API HRESULT mailhost_fire(const wchar_t* object, DISPID id, VARIANT* args, int count);

/* Command bars: the user clicks the first control with this tag in an explorer's
   bars that the user can reach (MAILHOST_E_UNREACHABLE when every one with the tag
   is out of reach). Click goes to every control sharing the tag; *cancel_default
   as the sinks left it. */
MAILHOST_API HRESULT mailhost_click(int explorer, const wchar_t* tag, BOOL* cancel_default);
MAILHOST_API HRESULT mailhost_change(int explorer, const wchar_t* tag, const wchar_t* text);
/* A button's face: source 0 none, 1 FaceId, 2 Picture, 3 PasteFace; pixels 0x00RRGGBB
   top-down (capacity in pixels, may be 0 to ask for the size); mask pixels when mask is set. */
MAILHOST_API HRESULT mailhost_button_face(int explorer, const wchar_t* tag, BOOL mask, int* source, int* width,
                                          int* height, DWORD* pixels, int capacity);

/* The ribbon (a 14.0 or 16.0 host). The user clicks a ribbon button of an
   explorer, by its id or its label: onAction with an IRibbonControl whose
   Context is that explorer. HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when no
   add-in's group shows such a button; a queued click reports in the call log. */
MAILHOST_API HRESULT mailhost_ribbon_click(int explorer, const wchar_t* control);
/* What the ribbon of an explorer shows of the add-ins, one line per group and
   button, fields separated by tabs (getImage is asked for pictures not yet had):
     "group\t<id>\t<label>"
     "button\t<id>\t<label>\t<picture: WxH or none>\t<tag>\t<screentip>\t<supertip>"
   Empty when no group shows (an 11.0 host, markup refused, no ribbon). */
MAILHOST_API BSTR mailhost_ribbon_controls(int explorer);

/* Add-ins: the user switches one on (ext_cm_AfterStartup) or off (ext_dm_UserClosed). */
MAILHOST_API HRESULT mailhost_connect_addin(const wchar_t* prog_id, BOOL connect);
/* The user opens Tools > Options (folder null: the application's OptionsPagesAdd
   with a PropertyPages collection) or a folder's Properties (the namespace's
   OptionsPagesAdd with the pages and the folder); the dialog closes when the
   event has run. *titles (may be null): the titles of the pages added, one a line. */
MAILHOST_API HRESULT mailhost_show_options(const wchar_t* folder, BSTR* titles);

/* Mail store. */
MAILHOST_API HRESULT mailhost_add_message(const wchar_t* folder, const char* eml, int item_class);
MAILHOST_API int mailhost_folder_count(const wchar_t* folder);
/* A folder below parent (null: the top folder) with its default item type
   (OlItemType: 0 mail, 1 appointment, 2 contact, 3 task, 4 journal, 5 note, 6 post,
   7 distribution list); its FolderPath is "\\Mailbox\...\name". */
MAILHOST_API HRESULT mailhost_add_folder(const wchar_t* parent, const wchar_t* name, int item_type);
/* The .eml file the last Send wrote. */
MAILHOST_API BSTR mailhost_last_sent_file(void);
/* A message of the store as an item's MAPIObject hands it out, for tests of MAPI
   readers; needs no running Outlook. Its IMessage::GetProps serves
   PR_TRANSPORT_MESSAGE_HEADERS_A (headers; null: the message has none) in memory
   from MAPI32's MAPIAllocateBuffer, and logs "IMessage.GetProps". *message is AddRef'd. */
MAILHOST_API HRESULT mailhost_create_message(const char* headers, IUnknown** message);

/* The clipboard held by another program: a thread of the host opens it and keeps
   it for milliseconds (INFINITE: until released); returns once it is held. */
MAILHOST_API HRESULT mailhost_hold_clipboard(DWORD milliseconds);
MAILHOST_API void mailhost_release_clipboard(void);

/* Fault injection: target.member fails with hr for the next times calls.
   target: a kind ("Explorer", "MailItem", "CommandBars", "CommandBarButton",
   "RibbonControl", "RibbonUI"...; the ribbon's typed members fail the same way),
   one window ("Explorer2", "Inspector1", as numbered now), one object by its audit
   name ("#12" for "Explorer#12"), or the controls with a Tag ("CommandBarButton[tag]").
   member: an object-model member by name ("*": any of them), failing as Outlook's
   do (DISP_E_EXCEPTION, EXCEPINFO scode hr); or by its own name only, failing
   with hr itself: "QueryInterface" (any interface but IUnknown), "GetIDsOfNames",
   "FindConnectionPoint", "Advise", "Unadvise", "GetProps" (kind "IMessage").
   ("ClassFactory", "CreateInstance"): the class factory's next creations fail.
   ("Application", "GetActiveObject"): Outlook leaves the running-object table (or
   does not enter it when started through COM) for the rest of the session;
   GetActiveObject then fails with MK_E_UNAVAILABLE, whatever hr says. */
MAILHOST_API HRESULT mailhost_fail(const wchar_t* target, const wchar_t* member, HRESULT hr, int times);
/* The same, striking only after the next skip calls went through: the
   (skip + 1)-th call fails first. */
MAILHOST_API HRESULT mailhost_fail_after(const wchar_t* target, const wchar_t* member, HRESULT hr, int skip, int times);
MAILHOST_API void mailhost_clear_faults(void);
/* Failures the armed faults delivered since the start. */
MAILHOST_API long mailhost_injected_failures(void);
/* The member census: every point where a fault could strike, counted as it is
   reached, "Kind.Member" as a fault names it (object-model members by their own
   spelling, "Explorer.QueryInterface", "IMessage.GetProps"...). TRUE starts a
   new census, FALSE stops it; a start of Outlook does not clear it, so that
   start-up can be counted. mailhost_recorded_members: one line
   "Kind.Member calls" per member, in the order of first calls. */
MAILHOST_API void mailhost_record_members(BOOL on);
MAILHOST_API BSTR mailhost_recorded_members(void);
/* One line per call: "Kind.Member" (get or call), "Kind.Member=" (put), events,
   add-in calls ("addin <ProgID>.OnConnection(1)"), refusals, over-releases. */
MAILHOST_API BSTR mailhost_call_log(void);
MAILHOST_API void mailhost_clear_call_log(void);
/* Reference audit: a line "Kind#serial refs" per object with references handed
   out, and "Kind#serial over-released n" per object released once too often (the
   object stays in memory until the next start, so that this is reported rather
   than freed memory touched). The count is references plus over-releases, so that
   neither hides the other; it saturates instead of wrapping. */
MAILHOST_API BSTR mailhost_outstanding_refs(void);
MAILHOST_API long mailhost_outstanding_ref_count(void);
/* Sinks advised: a line "Kind#serial sinks" per object with event sinks. While
   Outlook runs, the sinks now; after it quit, those still advised when its add-ins
   had disconnected (a sink an add-in forgot to unadvise). */
MAILHOST_API BSTR mailhost_advised_sinks(void);
MAILHOST_API long mailhost_advised_sink_count(void);

/* Registers / unregisters the simulated Outlook.Application in this process's registry
   view; refused outside Wine unless MAILHOST_ALLOW_REGISTER=1. */
MAILHOST_API HRESULT mailhost_register(void);
MAILHOST_API HRESULT mailhost_unregister(void);
