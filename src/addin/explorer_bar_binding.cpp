#include "addin/explorer_bar_binding.h"

#include <wrl/client.h>

#include <algorithm>

#include "addin/outlook_folders.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "commandbars/command_bar_engine.h"
#include "commandbars/command_bar_kinds.h"
#include "commandbars/host_bound.h"
#include "commandbars/office_ids.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kPositionValue[] = L"Position", kLeftValue[] = L"Left", kTopValue[] = L"Top",
                  kRowIndexValue[] = L"RowIndex";

std::vector<TafwOlExplorerCommandbar*> explorer_bars(const command_bar_module& module) {
    std::vector<TafwOlExplorerCommandbar*> bars;
    for (TafwCommandBar* bar : module.bars())
        if (auto* explorer_bar = dynamic_cast<TafwOlExplorerCommandbar*>(bar)) bars.push_back(explorer_bar);
    return bars;
}

// The layout applies to the add-in's own temporary bars, not to Outlook's.
bool keeps_layout(const TafwCommandBar& bar) { return bar.Temporary() && !bar.BuiltIn(); }

bool same_text_ignoring_case(const std::wstring& a, const std::wstring& b) noexcept {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

ComPtr<IDispatch> active_explorer(const command_bar_module& module) {
    IDispatch* application = module.host_application();
    return application ? get(application, L"ActiveExplorer").as_dispatch() : nullptr;
}

// The active explorer's folder; null when there is none or the host cannot tell.
ComPtr<IDispatch> active_folder(const command_bar_module& module) noexcept {
    try {
        const ComPtr<IDispatch> explorer = active_explorer(module);
        return explorer ? get(explorer.Get(), L"CurrentFolder").as_dispatch() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

// Enabled and Visible for the active explorer's folder, the nudge when asked
// for, and the controls' actions.
void update_bar_state(TafwOlExplorerCommandbar& bar, bool nudge) {
    const ComPtr<IDispatch> folder = active_folder(bar.module());
    const bool was_enabled = bar.Enabled();
    const std::wstring path = folder ? folder_path(folder.Get()) : std::wstring();
    std::optional<int> item_type;
    if (folder) item_type = get(folder.Get(), L"DefaultItemType").as_int();
    const bool built_in = bar.live() && bar.BuiltIn();
    if (!built_in)
        if (const auto enabled = explorer_bar_enabled_for(bar, path, item_type)) bar.SetEnabled(*enabled);
    const bool enabled = bar.Enabled();
    bar.SetVisible(enabled);
    if (nudge && enabled != was_enabled) {
        bar.SetCommandBarLeft(bar.CommandBarLeft() - 1);
        bar.SetCommandBarLeft(bar.CommandBarLeft() + 1);
    }
    if (item_type && enabled) ApplyItemTypeActions(bar.Controls(), bar.ItemTypes(), *item_type);
}

void restore_layout(TafwCommandBar& bar) {
    const auto key = registry_key::open(HKEY_CURRENT_USER, explorer_bar_layout_key(bar.module(), bar));
    if (!key) return;
    if (const auto position = key->dword(kPositionValue)) {
        // A value no position has is left out rather than trusted.
        const auto restored = position_from_host(static_cast<int>(*position & 0xFF));
        if (restored && *restored != bar.Position()) bar.SetPosition(*restored);
    }
    const auto restore = [&key](const wchar_t* name, std::int32_t current, auto set) {
        if (const auto value = key->dword(name); value && static_cast<std::int32_t>(*value) != current)
            set(static_cast<std::int32_t>(*value));
    };
    restore(kLeftValue, bar.CommandBarLeft(), [&bar](std::int32_t v) { bar.SetCommandBarLeft(v); });
    restore(kTopValue, bar.CommandBarTop(), [&bar](std::int32_t v) { bar.SetCommandBarTop(v); });
    restore(kRowIndexValue, bar.RowIndex(), [&bar](std::int32_t v) { bar.SetRowIndex(v); });
}

// The host bar's own values while it answers, else those the bar holds.
struct bar_layout {
    std::int32_t position, left, top, row_index;
};

bar_layout current_layout(const TafwCommandBar& bar) {
    if (IDispatch* live = bar.live()) {
        return {get(live, L"Position").as_int(), get(live, L"Left").as_int(), get(live, L"Top").as_int(),
                get(live, L"RowIndex").as_int()};
    }
    return {static_cast<std::int32_t>(bar.Position()), bar.CommandBarLeft(), bar.CommandBarTop(), bar.RowIndex()};
}

void save_layout(const TafwCommandBar& bar) {
    const bar_layout layout = current_layout(bar);
    registry_key key = registry_key::create(HKEY_CURRENT_USER, explorer_bar_layout_key(bar.module(), bar));
    key.set_dword(kPositionValue, static_cast<DWORD>(layout.position));
    key.set_dword(kLeftValue, static_cast<DWORD>(layout.left));
    key.set_dword(kTopValue, static_cast<DWORD>(layout.top));
    key.set_dword(kRowIndexValue, static_cast<DWORD>(layout.row_index));
}

bool answers(IDispatch* host_bar) noexcept {
    try {
        get(host_bar, L"Name");
        return true;
    } catch (...) {
        return false;
    }
}

// The bars were last bound in a window that has closed since without another
// being activated (it was not in front): the active explorer's copies take
// over, so that the folder rule acts on a bar the user sees.
void rebind_when_window_closed(command_bar_module& module) {
    const auto bars = explorer_bars(module);
    if (std::none_of(bars.begin(), bars.end(), [](const TafwCommandBar* bar) { return bar->live() && !answers(bar->live()); }))
        return;
    const ComPtr<IDispatch> explorer = active_explorer(module);
    if (!explorer) return;
    module.set_command_bars(query_dispatch(get(explorer.Get(), L"CommandBars").as_dispatch().Get(),
                                           office::IID__CommandBars));
    ActivateExplorerBars(module);
}

void place_in_current_explorer(command_bar_module& module, TafwCommandBar& bar) {
    if (FindCommandBar(module, bar.DeclaredName())) ConnectCommandBar(bar);
    else CreateCommandBar(module, bar);
}

}  // namespace

std::wstring explorer_bar_layout_key(const command_bar_module& module, const TafwCommandBar& bar) {
    return module.addin_key() + L"\\CommandBars\\" + bar.DeclaredName();
}

void RestoreExplorerBarLayout(command_bar_module& module) noexcept {
    for (TafwOlExplorerCommandbar* bar : explorer_bars(module)) {
        try {
            if (keeps_layout(*bar)) restore_layout(*bar);
        } catch (...) {
            module.report_error();
        }
    }
}

void CreateExplorerBarsAtStartup(command_bar_module& module) noexcept {
    for (TafwCommandBar* bar : std::vector<TafwCommandBar*>(module.bars())) {
        try {
            auto* explorer_bar = dynamic_cast<TafwOlExplorerCommandbar*>(bar);
            if (!explorer_bar) {
                CreateCommandBar(module, *bar);
                continue;
            }
            if (module.host_app() != ohaOutlook) continue;
            if (!active_explorer(module)) return;   // the first activation creates the bars
            CreateCommandBar(module, *explorer_bar);
            update_bar_state(*explorer_bar, false);
        } catch (...) {
            module.report_error();
        }
    }
}

void ActivateExplorerBars(command_bar_module& module) noexcept {
    for (TafwCommandBar* bar : std::vector<TafwCommandBar*>(module.bars())) {
        try {
            if (bar->SupportedApps().contains(ohaOutlook)) place_in_current_explorer(module, *bar);
        } catch (...) {
            module.report_error();
        }
    }
}

void UpdateExplorerBarState(command_bar_module& module) noexcept {
    try {
        rebind_when_window_closed(module);
    } catch (...) {
        module.report_error();
    }
    for (TafwOlExplorerCommandbar* bar : explorer_bars(module)) {
        try {
            update_bar_state(*bar, true);
        } catch (...) {
            module.report_error();
        }
    }
}

void SaveExplorerBarLayout(command_bar_module& module) noexcept {
    for (TafwOlExplorerCommandbar* bar : explorer_bars(module)) {
        try {
            if (keeps_layout(*bar)) save_layout(*bar);
        } catch (...) {
            // The layout stays as last saved.
        }
    }
}

void ApplyItemTypeActions(const TafwCommandBarControls& controls, TafwOLItemTypes bar_types, int item_type) {
    for (const auto& control : controls) {
        if (control->olExplorerItemTypes() == bar_types) continue;
        const bool for_this_type = control->olExplorerItemTypes().contains(item_type);
        switch (control->olItemTypeAction()) {
            case afwOLActionShow: control->SetVisible(for_this_type); break;
            case afwOLActionEnable: control->SetEnabled(for_this_type); break;
            default: break;
        }
        if (const auto* popup = dynamic_cast<const TafwCommandBarPopup*>(control.get()))
            ApplyItemTypeActions(popup->Controls(), bar_types, item_type);
    }
}

std::optional<bool> explorer_bar_enabled_for(const TafwOlExplorerCommandbar& bar, const std::wstring& path,
                                             std::optional<int> item_type) {
    if (!bar.FolderName().empty()) return bar.FolderName() == path;
    if (!bar.FolderNames().empty())
        return std::any_of(bar.FolderNames().begin(), bar.FolderNames().end(),
                           [&path](const std::wstring& name) { return same_text_ignoring_case(name, path); });
    if (item_type) return bar.ItemTypes().contains(*item_type);
    return std::nullopt;
}

}  // namespace flinter
