// The simulated Outlook as a program of its own, with windows a person can use:
//
//   simulated_outlook [--script FILE] [--addins PROGIDS] [--outbox DIR]
//                     [--explorers N] [--version 11.0|14.0|16.0] [--timeout SECONDS] [MAILBOX]
//
// It registers itself as Outlook.Application, starts as Outlook starts (the
// add-ins registered for Outlook load, it enters the running-object table),
// shows its explorer windows with the messages of MAILBOX (a folder of .eml
// files) in the Inbox, and runs until its last window closes. With --script
// it plays the command file (tour.cpp) and then quits; its exit status tells
// whether every command succeeded. --timeout ends a tour that hangs.
// --version picks the Outlook (11.0, the default, without a ribbon; 14.0 and
// 16.0 with one); a tour may pick it in its first command instead.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "mailhost/simulated_outlook.h"
#include "tour.h"

namespace {

struct settings {
    std::wstring mailbox, script, outbox, addins = L"*", version;
    int explorers = 1;
    int timeout_seconds = 0;
};

// Results go out as UTF-8 lines, at once, so that a script reading them sees them in order.
void print(const std::wstring& line) {
    const std::string text = flinter::narrow(line.c_str()) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::optional<settings> parse(int argc, wchar_t** argv) {
    settings chosen;
    for (int i = 1; i < argc; ++i) {
        const std::wstring word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == L"--script" && has_value) chosen.script = argv[++i];
        else if (word == L"--addins" && has_value) chosen.addins = argv[++i];
        else if (word == L"--outbox" && has_value) chosen.outbox = argv[++i];
        else if (word == L"--explorers" && has_value) chosen.explorers = _wtoi(argv[++i]);
        else if (word == L"--version" && has_value) chosen.version = argv[++i];
        else if (word == L"--timeout" && has_value) chosen.timeout_seconds = _wtoi(argv[++i]);
        else if (!word.starts_with(L"--") && chosen.mailbox.empty()) chosen.mailbox = word;
        else return std::nullopt;
    }
    return chosen;
}

std::wstring hex(HRESULT hr) {
    wchar_t code[16];
    ::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

// A full path: the store reads the mailbox after the working folder may have changed.
std::wstring full_path(const std::wstring& path) {
    if (path.empty()) return path;
    wchar_t full[MAX_PATH];
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length && length < MAX_PATH ? std::wstring(full) : path;
}

// A tour that waits for a person who is not there ends the program.
void end_after(int seconds) {
    std::thread([seconds] {
        ::Sleep(static_cast<DWORD>(seconds) * 1000);
        print(L"simulated_outlook: the tour did not end within " + std::to_wstring(seconds) + L" s");
        ::ExitProcess(3);
    }).detach();
}

int run(const settings& chosen) {
    if (const HRESULT hr = mailhost_register(); FAILED(hr))
        print(L"simulated_outlook: Outlook.Application is not registered: " + hex(hr));
    const std::wstring mailbox = full_path(chosen.mailbox), outbox = full_path(chosen.outbox);
    mailhost_options options{};
    options.mailbox = mailbox.empty() ? nullptr : mailbox.c_str();
    options.outbox_dir = outbox.empty() ? nullptr : outbox.c_str();
    options.explorers = chosen.explorers;
    options.addins = chosen.addins.empty() ? nullptr : chosen.addins.c_str();
    options.register_running = 1;
    options.picture_support = 1;
    std::optional<mailhost::host::tour> tour;
    std::wstring version = chosen.version;
    if (!chosen.script.empty()) {
        tour.emplace(mailhost::host::read_lines(chosen.script), print, [] { mailhost_quit(); });
        if (version.empty()) version = tour->host_version();
        if (chosen.timeout_seconds > 0) end_after(chosen.timeout_seconds);
    }
    options.version = version.empty() ? nullptr : version.c_str();
    Microsoft::WRL::ComPtr<IDispatch> application;
    if (const HRESULT hr = mailhost_start(&options, application.GetAddressOf()); FAILED(hr)) {
        print(L"simulated_outlook: Outlook did not start: " + hex(hr));
        return 1;
    }
    application.Reset();   // Outlook runs until its last window closes, whoever holds it
    if (HWND first = mailhost_explorer_window(1)) ::SetForegroundWindow(first);
    if (tour) tour->start();
    MSG message;
    while (mailhost_running() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (!tour) return 0;
    print(L"Outlook has quit; its calls since the tour's last log:");
    std::wistringstream lines(mailhost::simulated_outlook::call_log());
    for (std::wstring line; std::getline(lines, line);) print(L"  " + line);
    return tour->failed() ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const auto chosen = parse(argc, argv);
    if (!chosen) {
        std::fputs("usage: simulated_outlook [--script FILE] [--addins PROGIDS] [--outbox DIR] [--explorers N]\n"
                   "                         [--version 11.0|14.0|16.0] [--timeout SECONDS] [MAILBOX]\n",
                   stderr);
        return 2;
    }
    if (FAILED(::OleInitialize(nullptr))) return 1;
    int status = 1;
    try {
        status = run(*chosen);
    } catch (const std::exception& e) {
        print(L"simulated_outlook: " + flinter::widen(e.what()));
    }
    ::OleUninitialize();
    return status;
}
