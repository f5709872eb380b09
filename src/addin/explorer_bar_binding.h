// The module's bars in Outlook's explorer windows: the layout saved when a
// window closes and restored at the next start, the bars placed in the active
// explorer at start-up and in every explorer when it is activated, and the
// explorer bars shown or hidden by the folder the active explorer shows.
// Host UI thread only. Host failures go to the module error report and the
// routine goes on with the next bar; nothing throws.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <string>
#include <vector>

#include "commandbars/command_bar.h"

namespace flinter {

// Below HKEY_CURRENT_USER: the add-in key, "\CommandBars\" and the bar's name.
std::wstring explorer_bar_layout_key(const command_bar_module& module, const TafwCommandBar& bar);

// The saved "Position", "Left", "Top" and "RowIndex" of each temporary
// explorer bar become its values; missing ones leave what the bar has.
void RestoreExplorerBarLayout(command_bar_module& module) noexcept;

// The module's bars in Outlook's active explorer at start-up, each explorer
// bar then enabled and shown for that explorer's folder. With no explorer
// open nothing is created (the first activation creates the bars). When the
// host shows the explorer commands on its ribbon, an explorer bar the host
// kept from an earlier run is removed instead.
void CreateExplorerBarsAtStartup(command_bar_module& module) noexcept;

// The host shows the module's explorer commands on its ribbon, for the rest
// of the connection: no explorer bar is placed or updated, and bars placed
// already (the add-in was connected after the host started) leave their
// explorer. Host failures go to the module error report.
void MoveExplorerBarsToRibbon(command_bar_module& module) noexcept;

// An explorer was activated and its command bars are the module's collection:
// each of the module's Outlook bars is found there and re-bound (every sink
// then listens to this window's controls) or created, and each explorer bar
// is enabled and shown for that explorer's folder.
void ActivateExplorerBars(command_bar_module& module, IDispatch* explorer) noexcept;

// The active explorer's folder changed: each explorer bar is enabled and shown
// by its folder rule; a bar whose state changed is nudged left and back so
// that Outlook redraws it; the controls' item-type actions are applied.
void UpdateExplorerBarState(command_bar_module& module) noexcept;

// An explorer is closing: each temporary explorer bar's position is written
// to its layout record, from the active explorer's copy when the window the
// bar was bound to has closed. Registry and host failures are ignored.
void SaveExplorerBarLayout(command_bar_module& module) noexcept;

// When the explorer the bars were last bound to has closed without another
// being activated, the active explorer's copies take over (found and re-bound,
// or created). Failures are ignored: the bars then stay bound as they were.
void RebindExplorerBarsWhenWindowClosed(command_bar_module& module) noexcept;

// With no explorer left to take them over (an inspector may keep Outlook
// running), the bars bound in a window that has closed let go of what went
// with that window; switching the add-in off then has nothing of theirs to delete.
void ForgetExplorerBarsOfClosedWindows(command_bar_module& module) noexcept;

// Switching the add-in off: every explorer has a copy of the add-in's own
// temporary explorer bars, and the copies other than the bound one (which
// RemoveCommandBar takes apart) are deleted. The removal goes on past a
// failing explorer; the first failure is then raised.
void RemoveExplorerBarCopies(command_bar_module& module, const std::vector<IDispatch*>& explorers);

// Shows or enables each control whose item types differ from the bar's, by its
// olItemTypeAction, when the folder's item type is one of its own; descends
// into popups. Host failures go to the module error report.
void ApplyItemTypeActions(const TafwCommandBarControls& controls, TafwOLItemTypes bar_types, int item_type);

// The folder rule of an explorer bar that is not built-in, for the folder at
// path whose DefaultItemType is item_type (no folder: an empty path and no
// item type): whether it is enabled; nullopt when the rule leaves it as it is.
std::optional<bool> explorer_bar_enabled_for(const TafwOlExplorerCommandbar& bar, const std::wstring& path,
                                             std::optional<int> item_type);

}  // namespace flinter
