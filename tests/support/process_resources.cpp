#include "process_resources.h"

#include <windows.h>

namespace flinter::testing {

int open_handles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count) return static_cast<int>(count);
    int open = 0;
    for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

int gdi_objects() {
    if (const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(count);
    // Wine takes a GDI handle's table index alone for the handle.
    int live = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index))) ++live;
    return live;
}

int window_classes(const wchar_t* module) {
    const HMODULE instance = ::GetModuleHandleW(module);
    if (!instance) return 0;
    int classes = 0;
    for (ULONG_PTR atom = 0xC000; atom <= 0xFFFF; ++atom) {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        if (::GetClassInfoExW(instance, reinterpret_cast<LPCWSTR>(atom), &info)) ++classes;
    }
    return classes;
}

process_resources measure_process_resources() {
    return {open_handles(), gdi_objects(), window_classes(L"QAV_Flinter.dll") + window_classes(L"mailhost.dll")};
}

std::string describe(const process_resources& counts) {
    return "handles " + std::to_string(counts.handles) + ", GDI objects " + std::to_string(counts.gdi) +
           ", window classes " + std::to_string(counts.classes);
}

}  // namespace flinter::testing
