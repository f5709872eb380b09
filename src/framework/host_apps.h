// The Office hosts the framework knows: their registry names, add-in key
// patterns and ProgIDs, the interfaces that recognise them, and the set type
// the module declares its hosts with. Any thread for the table; recognition
// and the installed test call COM and never throw.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace flinter {

enum TafwOfficeHostApp : int {
    ohaExcel, ohaWord, ohaOutlook, ohaPowerPoint, ohaAccess,
    ohaProject, ohaFrontPage, ohaMapPoint, ohaVisio, ohaPublisher,
};
inline constexpr int kHostAppCount = 10;

class TafwHostAppSet {
public:
    constexpr TafwHostAppSet() noexcept = default;
    constexpr TafwHostAppSet(std::initializer_list<TafwOfficeHostApp> apps) noexcept {
        for (const auto app : apps) bits_ |= 1u << app;
    }
    constexpr void insert(TafwOfficeHostApp app) noexcept { bits_ |= 1u << app; }
    constexpr bool contains(TafwOfficeHostApp app) const noexcept { return (bits_ >> app) & 1u; }
    constexpr bool empty() const noexcept { return bits_ == 0; }
    constexpr bool operator==(const TafwHostAppSet&) const noexcept = default;

private:
    unsigned bits_ = 0;
};

// The host's name in the module's definition ("ohaOutlook"), or nullopt.
std::optional<TafwOfficeHostApp> host_app_from_name(std::string_view name) noexcept;

struct host_app_entry {
    const wchar_t* registry_name;   // its segment of the add-in key
    bool office_key;                // below Software\Microsoft\Office, or directly below Software\Microsoft
    const wchar_t* prog_id;         // the host's automation class
};
const host_app_entry& host_app(TafwOfficeHostApp app) noexcept;

// The host's add-in key for the add-in's ProgID, relative to a registry root
// (HKCU or HKLM): Software\Microsoft\Office\Outlook\AddIns\Korvex.korv.
std::wstring addin_key_path(TafwOfficeHostApp app, const std::wstring& addin_prog_id);

// The host's class when its ProgID resolves to a non-null CLSID: the host is installed.
std::optional<CLSID> installed_host_class(TafwOfficeHostApp app) noexcept;

// The kind of host behind an Application object: the first of the hosts'
// application interfaces it answers; Excel (0) when it answers none.
TafwOfficeHostApp recognise_host(IDispatch* application) noexcept;

}  // namespace flinter
