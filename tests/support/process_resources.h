// What a long session must give back: the process's open handles, its live GDI
// objects and the window classes two modules registered. Wine answers 0 to
// GetProcessHandleCount and GetGuiResources, so there the process's entries
// in the system's handle table and the GDI table indexes that name a live
// object are counted instead. Test support; UI thread for the classes; never throws.
#pragma once

#include <string>

namespace flinter::testing {

struct process_resources {
    int handles = 0, gdi = 0, classes = 0;
    bool operator==(const process_resources&) const = default;
};

int open_handles();
int gdi_objects();
// The classes a module's windows can be made of: every registered class atom
// that resolves for its instance (its own classes and the global ones); 0 when
// the module is not loaded.
int window_classes(const wchar_t* module);

// Handles, GDI objects and the classes of the add-in's library and the simulated Outlook.
process_resources measure_process_resources();
std::string describe(const process_resources& counts);

}  // namespace flinter::testing
