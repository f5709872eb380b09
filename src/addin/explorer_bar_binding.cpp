#include "addin/explorer_bar_binding.h"

#include <wrl/client.h>

#include <algorithm>

#include "addin/outlook_folders.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "commandbars/command_bar_engine.h"
#include "commandbars/command_bar_kinds.h"
#include "framework/office_ids.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kPositionValue[] = L"Position", kLeftValue[] = L"Left", kTopValue[] = L"Top",
                  kRowIndexValue[] = L"RowIndex";

// The explorer bars the explorer windows show: none when the host shows
// their commands on its ribbon.
std::vector<TafwOlExplorerCommandbar*> explorer_bars(const command_bar_module& module) {
    std::vector<TafwOlExplorerCommandbar*> bars;
    if (module.explorer_on_ribbon()) return bars;
    for (TafwCommandBar* bar : module.bars())
        if (auto* explorer_bar = dynamic_cast<TafwOlExplorerCommandbar*>(bar)) bars.push_back(explorer_bar);
    return bars;
}

bool on_ribbon(const command_bar_module& module, const TafwCommandBar& bar) {
    return module.explorer_on_ribbon() && dynamic_cast<const TafwOlExplorerCommandbar*>(&bar);
}

// The layout applies to the add-in's own temporary bars, not to Outlook's.
bool keeps_layout(const TafwCommandBar& bar) { return bar.Temporary() && !bar.BuiltIn(); }

bool same_text_ignoring_case(const std::wstring& a, const std::wstring& b) noexcept {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

ComPtr<IDispatch> active_explorer(const command_bar_module& module) {
    IDispatch* application = module.HostApplication();
    return application ? get(application, L"ActiveExplorer").as_dispatch() : nullptr;
}

// An explorer's folder; null when there is no explorer or the host cannot tell.
ComPtr<IDispatch> folder_of(IDispatch* explorer) noexcept {
    try {
        return explorer ? get(explorer, L"CurrentFolder").as_dispatch() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

ComPtr<IDispatch> active_folder(const command_bar_module& module) noexcept {
    try {
        return folder_of(active_explorer(module).Get());
    } catch (...) {
        return nullptr;
    }
}

// Enabled and Visible for the folder, the nudge when asked for, and the controls' actions.
void update_bar_state(TafwOlExplorerCommandbar& bar, const ComPtr<IDispatch>& folder, bool nudge) {
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

// What a saved record may give a bar; a value it may not take is left out,
// so that a damaged record cannot take the toolbar away or out of sight.
struct saved_layout {
    std::optional<TafwMsoBarPosition> position;
    std::optional<std::int32_t> left, top, row_index;
};

// A toolbar docks at an edge or floats; a popup or a menu bar is no toolbar.
std::optional<TafwMsoBarPosition> toolbar_position(DWORD stored) {
    const auto position = position_from_host(static_cast<int>(stored & 0xFF));
    if (position && *position <= afwMsoBarFloating) return position;
    return std::nullopt;
}

// A screen coordinate within the virtual screen (a window minimised when it
// closed reports its bars at -32000).
std::optional<std::int32_t> on_screen(std::optional<DWORD> stored, int origin_metric, int extent_metric) {
    if (!stored) return std::nullopt;
    const auto value = static_cast<std::int32_t>(*stored);
    const int origin = ::GetSystemMetrics(origin_metric);
    if (value < origin || value >= origin + ::GetSystemMetrics(extent_metric)) return std::nullopt;
    return value;
}

// A floating bar's corner in the work area of a monitor, where the user can take it.
bool on_visible_desktop(std::int32_t left, std::int32_t top) {
    const POINT corner{left, top};
    const HMONITOR monitor = ::MonitorFromPoint(corner, MONITOR_DEFAULTTONULL);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    return monitor && ::GetMonitorInfoW(monitor, &info) && ::PtInRect(&info.rcWork, corner);
}

saved_layout read_saved_layout(const registry_key& key, TafwMsoBarPosition declared) {
    saved_layout saved;
    if (const auto position = key.dword(kPositionValue)) saved.position = toolbar_position(*position);
    saved.left = on_screen(key.dword(kLeftValue), SM_XVIRTUALSCREEN, SM_CXVIRTUALSCREEN);
    saved.top = on_screen(key.dword(kTopValue), SM_YVIRTUALSCREEN, SM_CYVIRTUALSCREEN);
    if (saved.position.value_or(declared) == afwMsoBarFloating &&
        !(saved.left && saved.top && on_visible_desktop(*saved.left, *saved.top)))
        saved.left = saved.top = std::nullopt;
    // msoBarRowLast (-1), msoBarRowFirst (0) or a row's number.
    if (const auto row = key.dword(kRowIndexValue); row && static_cast<std::int32_t>(*row) >= -1)
        saved.row_index = static_cast<std::int32_t>(*row);
    return saved;
}

void restore_layout(TafwCommandBar& bar) {
    const auto key = registry_key::open(HKEY_CURRENT_USER, explorer_bar_layout_key(bar.module(), bar));
    if (!key) return;
    const saved_layout saved = read_saved_layout(*key, bar.Position());
    if (saved.position && *saved.position != bar.Position()) bar.SetPosition(*saved.position);
    const auto restore = [](std::optional<std::int32_t> value, std::int32_t current, auto set) {
        if (value && *value != current) set(*value);
    };
    restore(saved.left, bar.CommandBarLeft(), [&bar](std::int32_t v) { bar.SetCommandBarLeft(v); });
    restore(saved.top, bar.CommandBarTop(), [&bar](std::int32_t v) { bar.SetCommandBarTop(v); });
    restore(saved.row_index, bar.RowIndex(), [&bar](std::int32_t v) { bar.SetRowIndex(v); });
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

// Only the add-in's own temporary bars; every host read may fail (the caller ignores it).
void save_layout(const TafwCommandBar& bar) {
    if (!bar.Temporary()) return;
    if (IDispatch* live = bar.live(); live && get(live, L"BuiltIn").as_bool()) return;
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
    ActivateExplorerBars(module, explorer.Get());
}

// The bar's copy in the module's collection goes: the one placed there, or one
// the host kept from an earlier run (with the add-in's controls in it).
void remove_from_explorer(TafwCommandBar& bar) {
    if (!bar.live()) bar.SetLive(FindCommandBar(bar.module(), bar.DeclaredName()));
    if (bar.live()) RemoveCommandBar(bar);
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
            if (module.HostKind() != ohaOutlook) continue;
            if (module.explorer_on_ribbon()) {
                remove_from_explorer(*explorer_bar);
                continue;
            }
            if (!active_explorer(module)) return;   // the first activation creates the bars
            CreateCommandBar(module, *explorer_bar);
            update_bar_state(*explorer_bar, active_folder(module), false);
        } catch (...) {
            module.report_error();
        }
    }
}

void MoveExplorerBarsToRibbon(command_bar_module& module) noexcept {
    module.set_explorer_on_ribbon();
    // Placed already when the add-in was connected after the host started.
    for (TafwCommandBar* bar : module.bars()) {
        try {
            if (on_ribbon(module, *bar) && bar->live()) RemoveCommandBar(*bar);
        } catch (...) {
            module.report_error();
        }
    }
}

void ActivateExplorerBars(command_bar_module& module, IDispatch* explorer) noexcept {
    // The bar's state is the last folder's, which may have been another
    // window's: this window's folder decides whether its copy shows.
    const ComPtr<IDispatch> folder = folder_of(explorer);
    for (TafwCommandBar* bar : std::vector<TafwCommandBar*>(module.bars())) {
        try {
            if (!bar->SupportedApps().contains(ohaOutlook) || on_ribbon(module, *bar)) continue;
            place_in_current_explorer(module, *bar);
            if (auto* explorer_bar = dynamic_cast<TafwOlExplorerCommandbar*>(bar)) update_bar_state(*explorer_bar, folder, false);
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
    const ComPtr<IDispatch> folder = active_folder(module);
    for (TafwOlExplorerCommandbar* bar : explorer_bars(module)) {
        try {
            update_bar_state(*bar, folder, true);
        } catch (...) {
            module.report_error();
        }
    }
}

void RebindExplorerBarsWhenWindowClosed(command_bar_module& module) noexcept {
    try {
        rebind_when_window_closed(module);
    } catch (...) {
        // The bars stay bound as they were.
    }
}

void ForgetExplorerBarsOfClosedWindows(command_bar_module& module) noexcept {
    try {
        if (active_explorer(module)) return;   // the bars were rebound to its copies
        bool forgotten = false;
        for (TafwCommandBar* bar : explorer_bars(module))
            if (bar->live() && !answers(bar->live())) {
                ForgetCommandBar(*bar);
                forgotten = true;
            }
        // Their window's collection went too: the next look-up asks the host again.
        if (forgotten) module.set_command_bars(nullptr);
    } catch (...) {
        // The bars stay bound as they were.
    }
}

void RemoveExplorerBarCopies(command_bar_module& module, const std::vector<IDispatch*>& explorers) {
    const ComPtr<IDispatch> bound = module.command_bars();
    std::exception_ptr first_failure;
    for (IDispatch* explorer : explorers) {
        try {
            module.set_command_bars(
                query_dispatch(get(explorer, L"CommandBars").as_dispatch().Get(), office::IID__CommandBars));
            for (TafwOlExplorerCommandbar* bar : explorer_bars(module)) {
                if (!keeps_layout(*bar)) continue;
                const ComPtr<IDispatch> copy = FindCommandBar(module, bar->DeclaredName());
                if (copy && !(bar->live() && same_object(copy.Get(), bar->live())) && !get(copy.Get(), L"BuiltIn").as_bool())
                    call(copy.Get(), L"Delete");
            }
        } catch (...) {
            if (!first_failure) first_failure = std::current_exception();
        }
    }
    module.set_command_bars(bound);
    if (first_failure) std::rethrow_exception(first_failure);
}

void SaveExplorerBarLayout(command_bar_module& module) noexcept {
    RebindExplorerBarsWhenWindowClosed(module);
    for (TafwOlExplorerCommandbar* bar : explorer_bars(module)) {
        try {
            save_layout(*bar);
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
        if (const TafwCommandBarControls* children = control->Children())
            ApplyItemTypeActions(*children, bar_types, item_type);
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
