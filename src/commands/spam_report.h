// The "Spam" command: forwards every selected message to the report address
// with its transport header block quoted and a saved copy attached.
// Host UI thread only; host errors are caught per message, nothing escapes.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "analysis/header_retrieval.h"
#include "ui/user_dialogs.h"

namespace flinter {

inline constexpr char kSpamSubjectPrefix[] = "[*SPAM*] ";
inline constexpr char kHeaderBlockOpening[] = "====== MESSAGE HEADER ======\r\n";
inline constexpr char kHeaderBlockClosing[] = "=== END OF MESSAGE HEADER ===\r\n\r\n";
inline constexpr char kSavedCopyName[] = "temp1.eml";

// What the command reads from the settings window when the button is pressed.
struct spam_report_settings {
    std::string email;        // Edit1, required
    std::string bcc;          // Edit2, optional
    bool delete_after = false;  // CheckBox1
};

// Where the command saves copies and how it speaks to the user: through the
// module's show_message, owned by the explorer in front, as Outlook's own
// boxes are.
struct spam_report_environment {
    std::string work_folder;   // with its trailing backslash
    std::string temp_folder;   // fallback for the saved copy, with its trailing backslash
    header_text_sink* raw_header_window = nullptr;
    user_dialogs dialogs;
};

bool CheckReportAddress(const std::string& address);

// Returns how many selected messages could not be reported.
int ReportSpam(IDispatch* application, const spam_report_settings& settings,
               const spam_report_environment& environment);

}  // namespace flinter
