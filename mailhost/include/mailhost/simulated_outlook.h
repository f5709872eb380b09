// A running simulated Outlook for tests, in a few lines:
//   mailhost::simulated_outlook outlook({.mailbox = L"Z:/repo/samples", .explorers = 2});
//   IDispatch* app = outlook.application();
// Quits Outlook (Close events, Quit, add-ins disconnected) when it goes out of
// scope. Header-only over the C entry points of mailhost.dll; host thread only;
// throws std::runtime_error when Outlook cannot start.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "mailhost/mailhost.h"

namespace mailhost {

struct outlook_settings {
    std::wstring mailbox;       // folder of .eml files for the Inbox; empty: no messages
    int explorers = 1;          // explorer windows open at start
    std::wstring addins;        // ProgIDs to load (';'-separated), "*" for all, empty for none
    bool register_running = false;
    bool picture_support = true;
    std::wstring outbox_dir;    // where Send writes; empty: %TEMP%\mailhost-outbox
    bool keep_command_bars = false;   // the bars the last session kept; false: a fresh profile
    bool audit = true;          // false: no call log, no dead objects kept (memory figures)
    std::wstring version;       // "11.0" (empty), "14.0" or "16.0": Outlook 2010 and later have a ribbon
};

class simulated_outlook {
public:
    explicit simulated_outlook(const outlook_settings& settings = {}) {
        mailhost_options options{};
        options.mailbox = settings.mailbox.empty() ? nullptr : settings.mailbox.c_str();
        options.outbox_dir = settings.outbox_dir.empty() ? nullptr : settings.outbox_dir.c_str();
        options.explorers = settings.explorers;
        options.addins = settings.addins.empty() ? nullptr : settings.addins.c_str();
        options.register_running = settings.register_running;
        options.picture_support = settings.picture_support;
        options.keep_command_bars = settings.keep_command_bars;
        options.no_audit = !settings.audit;
        options.version = settings.version.empty() ? nullptr : settings.version.c_str();
        if (const HRESULT hr = mailhost_start(&options, application_.GetAddressOf()); FAILED(hr)) {
            char text[512];
            std::snprintf(text, sizeof text, "the simulated Outlook did not start: 0x%08lX %ls",
                          static_cast<unsigned long>(hr), error_description().c_str());
            throw std::runtime_error(text);
        }
    }
    ~simulated_outlook() { quit(); }
    simulated_outlook(const simulated_outlook&) = delete;
    simulated_outlook& operator=(const simulated_outlook&) = delete;

    IDispatch* application() const noexcept { return application_.Get(); }
    // Shuts Outlook down now; the application reference is dropped first.
    void quit() noexcept {
        application_.Reset();
        if (mailhost_running()) mailhost_quit();
    }

    static std::wstring take(BSTR text) {
        std::wstring result = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
        ::SysFreeString(text);
        return result;
    }
    static std::wstring call_log() { return take(mailhost_call_log()); }
    static std::wstring outstanding_refs() { return take(mailhost_outstanding_refs()); }
    static std::wstring advised_sinks() { return take(mailhost_advised_sinks()); }
    static std::wstring last_sent_file() { return take(mailhost_last_sent_file()); }
    static std::wstring ribbon_controls(int explorer = 1) { return take(mailhost_ribbon_controls(explorer)); }

private:
    static std::wstring error_description() {
        Microsoft::WRL::ComPtr<IErrorInfo> info;
        BSTR text = nullptr;
        if (::GetErrorInfo(0, &info) == S_OK) info->GetDescription(&text);
        return take(text);
    }
    Microsoft::WRL::ComPtr<IDispatch> application_;
};

}  // namespace mailhost
