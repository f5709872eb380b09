// The engine that makes the declared bars real in the host's command bars:
// finds or adds a bar and its controls, pushes the declared properties,
// removes controls that earlier versions left behind, re-binds an existing
// bar, and removes the add-in's controls and bar when the user switches the
// add-in off. Host UI thread only. Refusals (framework_refusal) reach the
// caller; host failures while creating go to the module error report and
// the engine goes on with the next step; FindCommandBar's host failures
// reach its caller; host failures while removing let the removal go on and
// the first of them then reaches the caller.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>

#include "com/variant.h"
#include "commandbars/command_bar.h"
#include "commandbars/command_bar_kinds.h"

namespace flinter {

// The host's command-bar collection (in Outlook the active window's while a
// window is open), cached in the module; null when there is none.
Microsoft::WRL::ComPtr<IDispatch> GetHostCommandBars(command_bar_module& module);

// The first host bar whose Name matches (ANSI, letters a-z without case) or
// whose NameLocal matches (Unicode, without case); null when none does.
Microsoft::WRL::ComPtr<IDispatch> FindCommandBar(command_bar_module& module, const std::wstring& name);

// Finds or adds the bar, applies its properties, removes orphaned controls
// and creates its controls.
void CreateCommandBar(command_bar_module& module, TafwCommandBar& bar);

// Pushes the bar's stored properties to the live bar when it is temporary or
// its version record differs; a non-temporary bar then records its version.
void ApplyBarProperties(TafwCommandBar& bar);

// Finds or adds the host control of control in the live bar (or in popup),
// binds it and refreshes it.
void CreateControl(command_bar_module& module, TafwCommandBarControl& control, TafwCommandBar& bar,
                   TafwCommandBarPopup* popup = nullptr);

// The Before argument of the host's Add: Before, or the position of the
// control with BeforeID (or after the one with AfterID) in position_bar;
// omitted to append.
variant ComputeBefore(const TafwCommandBarControl& control, IDispatch* position_bar);

// Binds the bar and its controls to a host bar that exists already (another
// explorer window's copy); found controls are not refreshed.
void ConnectCommandBar(TafwCommandBar& bar);

// Deletes the bar's controls from the host and, when it is then empty and
// not built-in, the bar; drops the live references. A control or bar the
// host fails to find or delete does not stop the rest; the first such
// failure is thrown at the end.
void RemoveCommandBar(TafwCommandBar& bar);

// The host deleted the bar with its window: the bar and its controls let go
// of their host objects, nothing is deleted.
void ForgetCommandBar(TafwCommandBar& bar) noexcept;

// Deletes recorded non-temporary controls that no bar of the module declares
// any more, and their records.
void RemoveOrphanControls(TafwCommandBar& bar);

// Switching the add-in off: RemoveCommandBar for every bar of the module
// built in this host, each whatever the others did; throws the first
// failure at the end. (The module then deletes the version records.)
void RemoveCommandBars(command_bar_module& module);

}  // namespace flinter
