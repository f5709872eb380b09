#include "analysis/mapi_binding.h"

#include <new>

namespace flinter {

FARPROC find_mapi_export(HMODULE module, std::string_view name) noexcept {
    char buffer[64] = {};
    if (!module || name.size() >= sizeof buffer) return nullptr;
    name.copy(buffer, name.size());
    FARPROC address = ::GetProcAddress(module, buffer);
#ifdef _WIN64
    if (!address) {
        if (const auto at = name.find('@'); at != std::string_view::npos) {
            buffer[at] = '\0';
            address = ::GetProcAddress(module, buffer);
        }
    }
#endif
    return address;
}

void mapi_binding::bind(const wchar_t* library_name) noexcept {
    release();
    bind_tried_ = true;
    library_.reset(::LoadLibraryW(library_name));
    if (!library_) return;
    for (std::size_t i = 0; i < kExportNames.size(); ++i)
        entries_[i] = find_mapi_export(library_.get(), kExportNames[i]);
}

void mapi_binding::release() noexcept {
    entries_.fill(nullptr);
    library_.reset();
    bind_tried_ = false;
}

FARPROC mapi_binding::entry(std::string_view export_name) const noexcept {
    for (std::size_t i = 0; i < kExportNames.size(); ++i)
        if (kExportNames[i] == export_name) return entries_[i];
    return nullptr;
}

namespace {
// An export's address as the function type it really has.
template <class Function>
Function as_function(FARPROC address) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}
}  // namespace

mapi_binding::hr_get_one_prop_fn mapi_binding::HrGetOneProp() const noexcept {
    return as_function<hr_get_one_prop_fn>(entry("HrGetOneProp@12"));
}

mapi_binding::mapi_free_buffer_fn mapi_binding::MAPIFreeBuffer() const noexcept {
    return as_function<mapi_free_buffer_fn>(entry("MAPIFreeBuffer"));
}

mapi_binding& mapi_binding::process() noexcept {
    // Never destroyed: the library's unload releases it explicitly, and at
    // process exit nothing may be freed from DllMain.
    alignas(mapi_binding) static unsigned char storage[sizeof(mapi_binding)];
    static mapi_binding* table = new (storage) mapi_binding;
    return *table;
}

const mapi_binding& mapi_binding::bound_process() noexcept {
    mapi_binding& table = process();
    if (!table.bind_tried_) table.bind();
    return table;
}

}  // namespace flinter
