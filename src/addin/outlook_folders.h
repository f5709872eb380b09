// Folder paths as the toolbar's folder rules and the inspector tracking see
// them. Host UI thread only; throws hresult_error when a host call fails.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace flinter {

// The names of the folder and of each parent that is still a folder, root
// first, joined with "\" (a folder Inbox below the top folder Mailbox gives
// "Mailbox\Inbox"); empty for a null folder.
std::wstring folder_path(IDispatch* folder);

// The path of Application.ActiveExplorer's current folder; empty when there is
// no active explorer or it shows no folder.
std::wstring active_folder_path(IDispatch* application);

}  // namespace flinter
