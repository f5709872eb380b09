#include "commands/spam_report.h"

#include <wrl/client.h>

#include <cstdio>

#include "addin/explorer_in_front.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "core/text/ascii.h"
#include "product.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

// Saves the message as work folder + "temp1.eml"; where the work folder (often
// Outlook's program folder) is not writable, falls back to the temp folder.
// Returns the path written; throws when neither could be written.
std::wstring save_copy(IDispatch* message, const spam_report_environment& environment) {
    const std::wstring in_work_folder = acp_to_wide(environment.work_folder + kSavedCopyName);
    try {
        call(message, L"saveas", {variant(in_work_folder)});
        return in_work_folder;
    } catch (const hresult_error&) {
        if (environment.temp_folder.empty()) throw;
    }
    const std::wstring in_temp_folder = acp_to_wide(environment.temp_folder + kSavedCopyName);
    call(message, L"saveas", {variant(in_temp_folder)});
    return in_temp_folder;
}

std::wstring quoted_body(const std::string& header, const std::wstring& old_body) {
    return acp_to_wide(kHeaderBlockOpening) + acp_to_wide(header) +
           acp_to_wide(kHeaderBlockClosing) + old_body;
}

void report_one(IDispatch* selection, int index, const spam_report_settings& settings,
                const spam_report_environment& environment) {
    const variant item = get(selection, L"Item", {variant(index)});
    const auto message = item.as_dispatch();
    if (!message) throw hresult_error(E_POINTER, "selection item is not an object");

    const std::wstring saved = save_copy(message.Get(), environment);
    const std::string header = GetMessageHeader(item.get(), environment.raw_header_window);
    const std::wstring subject = acp_to_wide(kSpamSubjectPrefix) + get(message.Get(), L"subject").as_wstring();

    const auto forward = call(message.Get(), L"Forward").as_dispatch();
    if (!forward) throw hresult_error(E_POINTER, "Forward returned no item");
    const auto recipients = get_object(forward.Get(), L"Recipients");
    call(recipients.Get(), L"Add", {variant(acp_to_wide(settings.email))});
    if (!settings.bcc.empty()) put(forward.Get(), L"bcc", variant(acp_to_wide(settings.bcc)));
    put(forward.Get(), L"Subject", variant(subject));
    put(forward.Get(), L"body", variant(quoted_body(header, get(forward.Get(), L"body").as_wstring())));

    try {
        const auto attachments = get_object(forward.Get(), L"Attachments");
        call(attachments.Get(), L"Add", {variant(saved)});
    } catch (const std::exception&) {
        // The report still goes out, without the copy.
    }
    call(forward.Get(), L"Send");

    if (settings.delete_after) {
        try {
            call(message.Get(), L"Delete");
        } catch (const std::exception&) {
            // The message stays where it is.
        }
    }
}

ComPtr<IDispatch> active_selection(IDispatch* application) {
    const auto explorer = get_object(application, L"ActiveExplorer");
    return get_object(explorer.Get(), L"Selection");
}

void tell(IDispatch* application, const spam_report_environment& environment, const std::string& text) {
    if (environment.dialogs.show_message) environment.dialogs.show_message(ExplorerWindowInFront(application), text);
}

}  // namespace

bool CheckReportAddress(const std::string& address) {
    return !text::trim_controls(address).empty() && address.find('@') != std::string::npos &&
           address.find('.') != std::string::npos;
}

int ReportSpam(IDispatch* application, const spam_report_settings& settings,
               const spam_report_environment& environment) {
    if (!CheckReportAddress(settings.email)) {
        tell(application, environment, "Please specify valid email in settings");
        return 0;
    }
    if (!settings.bcc.empty() && !CheckReportAddress(settings.bcc)) {
        tell(application, environment, "Please specify valid BCC email in settings");
        return 0;
    }

    ComPtr<IDispatch> selection;
    int count = 0;
    try {
        selection = active_selection(application);
        count = get(selection.Get(), L"count").as_int();
    } catch (const std::exception&) {
        return 0;
    }

    int failed = 0;
    for (int i = 1; i <= count; ++i) {
        try {
            report_one(selection.Get(), i, settings, environment);
        } catch (const std::exception&) {
            ++failed;   // abandon this message, go on with the next
        }
    }
    if (failed > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "%d of %d messages could not be reported.", failed, count);
        tell(application, environment, text);
    }
    return failed;
}

}  // namespace flinter
