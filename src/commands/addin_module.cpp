#include "commands/addin_module.h"

#include <iterator>

#include "addin/definition_resource.h"
#include "addin/explorer_in_front.h"
#include "analysis/message_info_update.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "commandbars/command_bar.h"
#include "commandbars/command_bar_button.h"
#include "commands/spam_report.h"
#include "core/commands/login_address.h"

namespace flinter {
namespace {

// How the toolbar's buttons, in their order, look on the ribbon.
struct ribbon_look {
    const wchar_t* id;
    const wchar_t* large_picture;
    const wchar_t* supertip;
};
constexpr ribbon_look kRibbonLooks[] = {
    {L"flinterSpam", L"SPAM32.BMP", L"Forwards the selected messages with their header block to your spam report address."},
    {L"flinterSettings", L"SETTINGS32.BMP", L"Report addresses, the delete option, the web login and what the analyzer shows."},
    {L"flinterAnalyzer", L"ANALYZER32.BMP", L"Shows what the filtering service made of the selected message."},
    {L"flinterLogin", L"LOGIN32.BMP", L"Opens the Postini web login in your browser."},
};

// The toolbar's buttons as large buttons of a group on the mail Home tab.
ribbon_group explorer_ribbon_group(const TafwCommandBar& toolbar) {
    ribbon_group group{kOutlookExplorerRibbon, L"TabMail", L"flinterGroup", toolbar.DeclaredName(), {}};
    const TafwCommandBarControls& controls = toolbar.Controls();
    for (std::size_t i = 0; i < controls.Count() && i < std::size(kRibbonLooks); ++i) {
        auto* button = dynamic_cast<TafwCommandBarButton*>(&controls[i]);
        if (!button) continue;
        const ribbon_look& look = kRibbonLooks[i];
        group.buttons.push_back({look.id, button->Caption(), button->TooltipText(), look.supertip,
                                 button->DeclaredOfficeTag(), button, look.large_picture});
    }
    return group;
}

std::string temp_folder() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH + 1, path);
    return n > 0 && n <= MAX_PATH ? std::string(path, n) : std::string();
}

}  // namespace

TAddInModule::TAddInModule(user_dialogs dialogs)
    : TafwCOMAddInModule("AddInModule", "TAddInModule", std::move(dialogs)) {
    load(read_definition_resource(this_module(), L"ADDIN_MODULE"), handlers());
    if (const auto* toolbar = dynamic_cast<const TafwCommandBar*>(find_component("afwOlExplorerCommandbar1")))
        RibbonGroups.push_back(explorer_ribbon_group(*toolbar));
}

TAddInModule::~TAddInModule() = default;

handler_table TAddInModule::handlers() {
    handler_table table;
    const auto add = [&](const char* name, void (TAddInModule::*method)(component&)) {
        table.add(name, [this, method](component& sender) { (this->*method)(sender); });
    };
    add("afwCOMAddInModuleAddInStartupComplete", &TAddInModule::afwCOMAddInModuleAddInStartupComplete);
    add("afwCOMAddInModuleDestroy", &TAddInModule::afwCOMAddInModuleDestroy);
    add("afwCOMAddInModuleOLExplorerSelectionChange", &TAddInModule::afwCOMAddInModuleOLExplorerSelectionChange);
    add("afwOlExplorerCommandbar1Controls0Click", &TAddInModule::afwOlExplorerCommandbar1Controls0Click);
    add("afwOlExplorerCommandbar1Controls1Click", &TAddInModule::afwOlExplorerCommandbar1Controls1Click);
    add("afwOlExplorerCommandbar1Controls2Click", &TAddInModule::afwOlExplorerCommandbar1Controls2Click);
    add("afwOlExplorerCommandbar1Controls3Click", &TAddInModule::afwOlExplorerCommandbar1Controls3Click);
    return table;
}

// A window whose native window someone else destroyed counts as missing.
Tfset& TAddInModule::settings_window() const {
    if (!fset_ || !fset_->handle()) throw hresult_error(E_UNEXPECTED, "the settings window does not exist");
    return *fset_;
}

Tfinfo& TAddInModule::info_window() const {
    if (!finfo_ || !finfo_->handle() || !fheader_ || !fheader_->handle())
        throw hresult_error(E_UNEXPECTED, "the message information window does not exist");
    return *finfo_;
}

void TAddInModule::afwCOMAddInModuleAddInStartupComplete(component&) {
    // The windows outlive the host window that owns them: they must not go with it.
    owner_ = std::make_unique<owner_succession>(ActiveHostWindow(HostApplication()));
    // Each window exists before the window that refers to it: the About box
    // before the settings window, the raw-header window before the
    // information window.
    about_ = std::make_unique<TAboutBox>(Dialogs());
    fset_ = std::make_unique<Tfset>(owner_->owner(), *about_, Dialogs());
    owner_->follow(fset_->handle());
    fheader_ = std::make_unique<Tfheader>();
    finfo_ = std::make_unique<Tfinfo>(owner_->owner(), *fheader_);
    owner_->follow(finfo_->handle());
    fset_->FormShow();
}

void TAddInModule::afwCOMAddInModuleDestroy(component&) {
    fset_.reset();
    finfo_.reset();
    fheader_.reset();
    about_.reset();
    owner_.reset();
}

void TAddInModule::afwCOMAddInModuleOLExplorerSelectionChange(component&) {
    if (finfo_ && finfo_->visible()) updatemessageinfo();
}

void TAddInModule::afwOlExplorerCommandbar1Controls0Click(component&) {
    const settings_record settings = settings_window().record();
    spam_report_environment environment;
    environment.work_folder = work_folder();
    environment.temp_folder = temp_folder();
    environment.raw_header_window = fheader_.get();
    environment.dialogs = Dialogs();
    ReportSpam(HostApplication(), {settings.email, settings.bcc, settings.delete_after_report}, environment);
}

void TAddInModule::afwOlExplorerCommandbar1Controls1Click(component&) { settings_window().ShowModal(); }

void TAddInModule::afwOlExplorerCommandbar1Controls2Click(component&) {
    updatemessageinfo();
    if (!info_window().visible()) info_window().show();
}

void TAddInModule::afwOlExplorerCommandbar1Controls3Click(component&) {
    const settings_record settings = settings_window().record();
    Dialogs().open_url(LoginAddress(settings.name, settings.pass));
}

void TAddInModule::updatemessageinfo() {
    const Tfset& settings = settings_window();
    UpdateMessageInfo(HostApplication(), info_window(), *fheader_, settings.section_switches(),
                      settings.panel1_color());
}

module_ptr CreateAddInModule() { return module_ptr(new TAddInModule()); }

}  // namespace flinter
