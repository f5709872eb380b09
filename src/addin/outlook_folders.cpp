#include "addin/outlook_folders.h"

#include <wrl/client.h>

#include "addin/outlook_wrappers.h"
#include "com/late_bound.h"
#include "framework/office_ids.h"

namespace flinter {

using Microsoft::WRL::ComPtr;

namespace {

// Deeper than any real store; ends the walk should a host's parents loop.
constexpr int kMaxFolderDepth = 256;

ComPtr<IDispatch> parent_folder(IDispatch* folder) {
    const variant parent = get(folder, L"Parent");
    ComPtr<IUnknown> object = parent.as_unknown();
    ComPtr<IDispatch> as_folder;
    if (object) object->QueryInterface(outlook::IID_MAPIFolder, reinterpret_cast<void**>(as_folder.GetAddressOf()));
    return as_folder;
}

}  // namespace

std::wstring folder_path(IDispatch* folder) {
    std::wstring path;
    ComPtr<IDispatch> current = folder;
    for (int depth = 0; current && depth < kMaxFolderDepth; ++depth) {
        const std::wstring name = get(current.Get(), L"Name").as_wstring();
        path = path.empty() ? name : name + L"\\" + path;
        current = parent_folder(current.Get());
    }
    return path;
}

std::wstring active_folder_path(IDispatch* application) {
    const ComPtr<IDispatch> explorer = get(application, L"ActiveExplorer").as_dispatch();
    if (!explorer) return {};
    return folder_path(get(explorer.Get(), L"CurrentFolder").as_dispatch().Get());
}

}  // namespace flinter
