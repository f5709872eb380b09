// Outlook's property-page dialogs as add-ins take part in them: Tools >
// Options raises the application's OptionsPagesAdd with a PropertyPages
// collection, a folder's Properties the namespace's OptionsPagesAdd with the
// pages and the folder. Pages are recorded by title; the pages themselves are
// not shown. Host thread only; throws host_error.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace mailhost {

class application;
class folder;

// Opens the dialog (folder null: Tools > Options) and closes it again once the
// event has run; the titles of the pages the add-ins added, in order.
std::vector<std::wstring> show_options_dialog(application& app, const std::shared_ptr<folder>& for_folder);

}  // namespace mailhost
