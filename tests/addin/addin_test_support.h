// What the add-in's tests share: where the built library lies, its exports,
// a readable dump of registry trees, and running a program (regsvr32) while
// this thread keeps serving COM calls. Test support only.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "addin/addin_factory.h"

namespace addin_testing {

inline constexpr wchar_t kClsidKey[] = L"CLSID\\{5F27362D-F894-4E66-BD26-E876A157B893}";
inline constexpr wchar_t kProgId[] = L"Korvex.korv";
inline constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{EA43248C-7FA5-4A39-85F5-2A99BDBEC4A2}";
inline constexpr wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns\\Korvex.korv";
inline constexpr GUID kKorv = {0x5F27362D, 0xF894, 0x4E66, {0xBD, 0x26, 0xE8, 0x76, 0xA1, 0x57, 0xB8, 0x93}};
inline constexpr GUID kLibId = {0xEA43248C, 0x7FA5, 0x4A39, {0x85, 0xF5, 0x2A, 0x99, 0xBD, 0xBE, 0xC4, 0xA2}};
inline constexpr GUID kIkorv = {0x20A9A2AD, 0xE950, 0x4182, {0x90, 0xD2, 0xE9, 0x2F, 0x83, 0xF6, 0x8B, 0x6B}};

// The add-in's class connecting the add-in's own module, whose windows show
// nothing to the user and open no browser: for tests that connect it in-process.
flinter::addin_class quiet_korv_class();

// A file next to this test's executable.
std::wstring beside_this_test(const wchar_t* file);

// The full paths of the modules this process has loaded now.
std::set<std::wstring> loaded_module_paths();

// Every key and value below root\path, one sorted line each: "sub\key" for a
// key, "sub\key|name=text" for a string and "sub\key|name=#n" for a number
// ("@" names the default value); empty when the key does not exist.
std::vector<std::wstring> registry_tree(HKEY root, const std::wstring& path);

// Runs a command line and returns its exit code, serving this thread's
// window messages (and so COM calls into its apartment) meanwhile.
DWORD run_serving_messages(std::wstring command_line);

// regsvr32 of this flavour's bitness, silent: its exit code.
DWORD regsvr32(const std::wstring& library, bool unregister = false);

// Removes the add-in's COM class keys and add-in key in this flavour's view,
// and its type library's registration in both.
void remove_registration();

// Runs call when this thread next dispatches its messages, after what was
// posted before it: input or another program's call reaching Outlook while
// the add-in's handler runs a message loop. False when it cannot be posted.
bool post_call(std::function<void()> call);

// Dispatches what this thread's queue holds now (and what that posts).
void run_queued_messages();

// The current day as the settings store counts it, recorded as the last
// update check in the settings file beside this test, so that starting the
// add-in here asks no web server.
void record_recent_update_check();

}  // namespace addin_testing
