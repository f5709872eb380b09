// What the end-to-end tests share: the simulated Outlook and the add-in
// registered with regsvr32 as an installation registers them, a settings file
// of the test's own (the one before it is put back afterwards), a browser
// stand-in registered for http addresses, and the user's clicks on the
// toolbar or the ribbon. Test thread only; failures are gtest failures.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace addin_testing {

class registered_addin_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes key=value pairs into section "general" of the work folder's settings.ini.
    void write_settings(const std::vector<std::pair<const char*, const char*>>& values) const;
    std::string read_setting(const char* key) const;
    // The addresses the shell was asked to open since SetUp, in order.
    std::vector<std::string> opened_addresses() const;

private:
    std::wstring settings_path_;
    std::optional<std::string> settings_before_;
    std::optional<std::wstring> http_command_before_;
};

// The user clicks the command-bar control with this caption in an explorer
// window, where the window shows it.
void press(const wchar_t* caption, int explorer = 1);

// The user clicks the ribbon button with this label or id in an explorer
// window of a host with a ribbon, where the window shows it.
void press_on_ribbon(const wchar_t* label, int explorer = 1);

// A top-level window of this thread by its caption, or null. Other test
// programs show windows with the same captions on the same desktop.
HWND thread_window(const wchar_t* caption);

// The add-in's message information window, or null.
HWND information_window();

// The text of a window's first child control, its line breaks made "\n" and
// trailing breaks dropped.
std::wstring first_child_text(HWND window);

// A text file's bytes as a wide string (ASCII), line breaks as above.
std::wstring file_text(const std::wstring& path);

}  // namespace addin_testing
