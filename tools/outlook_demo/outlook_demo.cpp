// The demo's Outlook: the simulated Outlook as a small program.
//   outlook_demo install          registers the simulated Outlook.Application
//   outlook_demo start MAILBOX    starts it with the registered add-ins, shows
//                                 what the start-up went through, then quits
// It sees the add-in only as Outlook does: through the registry and COM.
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "com/late_bound.h"
#include "com/registry.h"
#include "mailhost/simulated_outlook.h"

namespace {

constexpr wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns\\Korvex.korv";

void print_log(const wchar_t* heading, const std::wstring& log) {
    std::wprintf(L"%ls\n", heading);
    std::wstringstream lines(log);
    for (std::wstring line; std::getline(lines, line);) std::wprintf(L"    %ls\n", line.c_str());
}

void print_addin_key() {
    const auto key = flinter::registry_key::open(HKEY_CURRENT_USER, kAddInKey);
    if (!key) {
        std::wprintf(L"HKCU\\%ls does not exist\n", kAddInKey);
        return;
    }
    std::wprintf(L"HKCU\\%ls\n", kAddInKey);
    for (const wchar_t* name : {L"FriendlyName", L"Description", L"AFWStartMode"})
        if (const auto text = key->string(name)) std::wprintf(L"    %-16ls %ls\n", name, text->c_str());
    for (const wchar_t* name : {L"LoadBehavior", L"CommandLineSafe"})
        if (const auto number = key->dword(name)) std::wprintf(L"    %-16ls %lu\n", name, *number);
}

int start(const wchar_t* mailbox) {
    std::wprintf(L"Starting Outlook; it loads the add-ins registered under HKCU\\Software\\Microsoft\\Office\\Outlook\\AddIns.\n");
    {
        mailhost::simulated_outlook outlook({.mailbox = mailbox, .explorers = 1, .addins = L"*"});
        print_log(L"Start-up, as Outlook saw it (its calls to the add-in, the add-in's calls to it):",
                  outlook.call_log());
        const auto addins = flinter::get_object(outlook.application(), L"COMAddIns");
        for (int i = 1, n = flinter::get(addins.Get(), L"Count").as_int(); i <= n; ++i) {
            const auto addin = flinter::get_object(addins.Get(), L"Item", {flinter::variant(i)});
            std::wprintf(L"COM add-in %ls \"%ls\": connected %ls\n",
                         flinter::get(addin.Get(), L"ProgId").as_wstring().c_str(),
                         flinter::get(addin.Get(), L"Description").as_wstring().c_str(),
                         flinter::get(addin.Get(), L"Connect").as_bool() ? L"yes" : L"no");
        }
        const HWND info = ::FindWindowW(nullptr, L"Message Information");
        std::wprintf(L"The add-in's message information window: %ls\n",
                     info ? L"created, hidden until \"Analyzer\" is pressed" : L"missing");
        print_addin_key();
        mailhost_clear_call_log();
    }
    print_log(L"Shut-down:", mailhost::simulated_outlook::call_log());
    std::wprintf(L"References the add-in still holds on Outlook's objects: %ld\n", mailhost_outstanding_ref_count());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    int status = 2;
    try {
        const std::wstring command = argc > 1 ? argv[1] : L"";
        if (command == L"install") {
            status = SUCCEEDED(mailhost_register()) ? 0 : 1;
        } else if (command == L"start" && argc > 2) {
            status = start(argv[2]);
        } else {
            std::fwprintf(stderr, L"usage: outlook_demo install | start MAILBOX\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "outlook_demo: %s\n", e.what());
        status = 1;
    }
    ::CoUninitialize();
    return status;
}
