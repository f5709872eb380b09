// The process-wide table of MAPI32.DLL entry points: filled at the first
// header retrieval (loading a library from DllMain could deadlock on the
// loader lock), released when the add-in library is unloaded by FreeLibrary.
// Host UI thread for the process table; never throws.
#pragma once

#include <windows.h>
#include <mapidefs.h>
#include <mapicode.h>

#include <array>
#include <string_view>

#include "com/unique_res.h"

namespace flinter {

class mapi_binding {
public:
    using hr_get_one_prop_fn = HRESULT(STDAPICALLTYPE*)(LPMAPIPROP, ULONG, LPSPropValue*);
    using mapi_free_buffer_fn = ULONG(STDAPICALLTYPE*)(LPVOID);

    // Every export looked up, in lookup order, names exactly as the library exports them.
    static constexpr std::array<std::string_view, 32> kExportNames = {
        "HrQueryAllRows@24", "OpenStreamOnFile@24", "FreeProws@4", "FreePadrlist@4",
        "HrSzFromEntryID@12", "HrEntryIDFromSz@12", "FPropExists@8", "HrGetOneProp@12",
        "HrSetOneProp@8", "WrapCompressedRTFStream", "RTFSync", "CreateTable@36",
        "BuildDisplayTable@40", "OpenIMsgSession@12", "CloseIMsgSession@4", "OpenIMsgOnIStg@44",
        "GetAttribIMsgOnIStg@12", "SetAttribIMsgOnIStg@16", "MapStorageSCode@4", "MAPIInitialize",
        "MAPIUninitialize", "MAPILogonEx", "MAPIAllocateBuffer", "MAPIAllocateMore",
        "MAPIFreeBuffer", "MAPIAdminProfiles", "MAPIGetDefaultMalloc@0", "OpenTnefStreamEx",
        "MAPIInitIdle@4", "MAPIDeinitIdle@0", "FtgRegisterIdleRoutine@20", "DeregisterIdleRoutine@4",
    };

    // Loads library_name from the system search path and binds every export;
    // a library that fails to load leaves every entry null.
    void bind(const wchar_t* library_name = L"MAPI32.DLL") noexcept;
    void release() noexcept;

    bool loaded() const noexcept { return static_cast<bool>(library_); }
    FARPROC entry(std::string_view export_name) const noexcept;
    hr_get_one_prop_fn HrGetOneProp() const noexcept;
    mapi_free_buffer_fn MAPIFreeBuffer() const noexcept;

    // The process-wide table, as it stands.
    static mapi_binding& process() noexcept;
    // The process-wide table, bound now unless a binding was tried already.
    static const mapi_binding& bound_process() noexcept;

private:
    bool bind_tried_ = false;
    unique_hmodule library_;
    std::array<FARPROC, kExportNames.size()> entries_{};
};

// Looks name up in module; a 64-bit MAPI32 exports undecorated names, so on
// x64 "Name@N" falls back to "Name" when the decorated name is absent.
FARPROC find_mapi_export(HMODULE module, std::string_view name) noexcept;

}  // namespace flinter
