#include "framework/host_apps.h"

#include <wrl/client.h>

#include "framework/office_ids.h"

namespace flinter {
namespace {

constexpr std::array<host_app_entry, kHostAppCount> kHosts = {{
    {L"Excel", true, L"Excel.Application"},
    {L"Word", true, L"Word.Application"},
    {L"Outlook", true, L"Outlook.Application"},
    {L"PowerPoint", true, L"PowerPoint.Application"},
    {L"Access", true, L"Access.Application"},
    {L"MS Project", true, L"MSProject.Application"},
    {L"FrontPage", true, L"FrontPage.Application"},
    {L"MapPoint", false, L"MapPoint.Application"},
    {L"Visio", false, L"Visio.Application"},
    {L"Publisher", true, L"Publisher.Application"},
}};

constexpr std::array<std::string_view, kHostAppCount> kHostNames = {
    "ohaExcel", "ohaWord", "ohaOutlook", "ohaPowerPoint", "ohaAccess",
    "ohaProject", "ohaFrontPage", "ohaMapPoint", "ohaVisio", "ohaPublisher",
};

// The application interface of each host, in the order they are asked for.
struct recognised_host {
    GUID iid;
    TafwOfficeHostApp app;
};
constexpr recognised_host kRecognition[] = {
    {office_guid(0x00020970), ohaWord},
    {office_guid(0x000208D5), ohaExcel},
    {outlook::IID__Application, ohaOutlook},
    {{0x68CCE6C0, 0x6129, 0x101B, {0xAF, 0x4E, 0x00, 0xAA, 0x00, 0x3F, 0x0F, 0x07}}, ohaAccess},
    {office_guid(0x00020AFF), ohaProject},
    {{0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}}, ohaPowerPoint},
    {{0x04DF1014, 0x7007, 0x11D1, {0x83, 0xBC, 0x00, 0x60, 0x97, 0xAB, 0xE6, 0x75}}, ohaFrontPage},
    {{0xD6D389CE, 0x1781, 0x47A0, {0x89, 0x84, 0x43, 0x49, 0x68, 0x7F, 0x65, 0xD6}}, ohaMapPoint},
    {office_guid(0x000D0700), ohaVisio},
    {office_guid(0x0002123E), ohaPublisher},
};

}  // namespace

std::optional<TafwOfficeHostApp> host_app_from_name(std::string_view name) noexcept {
    for (int i = 0; i < kHostAppCount; ++i)
        if (kHostNames[i] == name) return static_cast<TafwOfficeHostApp>(i);
    return std::nullopt;
}

const host_app_entry& host_app(TafwOfficeHostApp app) noexcept { return kHosts[app]; }

std::wstring addin_key_path(TafwOfficeHostApp app, const std::wstring& addin_prog_id) {
    const host_app_entry& host = host_app(app);
    std::wstring path = host.office_key ? L"Software\\Microsoft\\Office\\" : L"Software\\Microsoft\\";
    return path + host.registry_name + L"\\AddIns\\" + addin_prog_id;
}

std::optional<CLSID> installed_host_class(TafwOfficeHostApp app) noexcept {
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(host_app(app).prog_id, &clsid)) || clsid == CLSID_NULL) return std::nullopt;
    return clsid;
}

TafwOfficeHostApp recognise_host(IDispatch* application) noexcept {
    if (!application) return ohaExcel;
    for (const auto& host : kRecognition) {
        Microsoft::WRL::ComPtr<IUnknown> typed;
        if (SUCCEEDED(application->QueryInterface(host.iid, reinterpret_cast<void**>(typed.GetAddressOf()))) && typed)
            return host.app;
    }
    return ohaExcel;
}

}  // namespace flinter
