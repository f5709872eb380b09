// The registration routine behind DllRegisterServer and DllUnregisterServer:
// the type library, the COM class keys under HKEY_CLASSES_ROOT and the hosts'
// add-in keys; unregistration also cleans up inside the hosts (it attaches to
// a running host or starts one and tells it to quit). Runs the module class
// as registration-time instances. Export thread, COM initialised; throws
// framework_error with the routine's messages, hresult_error otherwise.
#pragma once

#include <string>

namespace flinter {

class TComServer;

void UpdateServerRegistry(TComServer& server, bool do_register);

// The library path as the InprocServer32 value holds it: its short (8.3)
// form when the path contains a blank and the file system has one.
std::wstring inproc_server_path(const std::wstring& library_path);

}  // namespace flinter
