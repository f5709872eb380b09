// TAddInModule: the add-in's own module, read from its stored definition
// (resource ADDIN_MODULE). At start-up it takes the host window in front as
// owner, creates the four windows hidden and loads the settings into the
// settings window; when the owner closes, the windows pass to the host window
// in front of those left. Its handlers serve the selection change and the
// four toolbar buttons, which a host with a ribbon shows as a group on the
// mail Home tab; its destroy handler frees the windows. Host UI thread
// only; a handler's failure reaches the module error report.
#pragma once

#include <windows.h>

#include <memory>

#include "addin/com_addin_module.h"
#include "analysis/message_info_window.h"
#include "analysis/raw_header_window.h"
#include "settings/about_box.h"
#include "settings/settings_window.h"
#include "ui/user_dialogs.h"
#include "ui/owner_succession.h"

namespace flinter {

class TAddInModule final : public TafwCOMAddInModule {
public:
    // dialogs: what the module, its windows and its commands show the user or
    // hand to the system.
    explicit TAddInModule(user_dialogs dialogs = library_dialogs());
    ~TAddInModule() override;

    // The host has started: owner window, the four windows, the settings loaded.
    void afwCOMAddInModuleAddInStartupComplete(component& sender);
    // The module goes: the windows that exist are freed.
    void afwCOMAddInModuleDestroy(component& sender);
    // An explorer's selection changed: re-evaluates while the information window shows.
    void afwCOMAddInModuleOLExplorerSelectionChange(component& sender);
    void afwOlExplorerCommandbar1Controls0Click(component& sender);   // "Spam"
    void afwOlExplorerCommandbar1Controls1Click(component& sender);   // "Settings"
    void afwOlExplorerCommandbar1Controls2Click(component& sender);   // "Analyzer"
    void afwOlExplorerCommandbar1Controls3Click(component& sender);   // "Login"

    // The first selected message's verdict into the message information window.
    void updatemessageinfo();

    // The host window that owns the settings and information windows: the one
    // in front at start-up while it lives, then the one in front of those
    // left; null when none does.
    HWND OwnerWindow() const noexcept { return owner_ ? owner_->owner() : nullptr; }
    // The windows, null before start-up and after the destroy handler.
    Tfset* fset() const noexcept { return fset_.get(); }
    Tfinfo* finfo() const noexcept { return finfo_.get(); }
    Tfheader* fheader() const noexcept { return fheader_.get(); }
    TAboutBox* AboutBox() const noexcept { return about_.get(); }

private:
    handler_table handlers();
    Tfset& settings_window() const;
    Tfinfo& info_window() const;

    std::unique_ptr<owner_succession> owner_;
    // Destroyed, when the destroy handler has not run, in the handler's order.
    std::unique_ptr<TAboutBox> about_;
    std::unique_ptr<Tfheader> fheader_;
    std::unique_ptr<Tfinfo> finfo_;
    std::unique_ptr<Tfset> fset_;
};

// The module class the add-in's connection instantiates.
module_ptr CreateAddInModule();

}  // namespace flinter
