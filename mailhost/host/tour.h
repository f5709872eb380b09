// A scripted tour of the simulated Outlook: a command file played as a user
// would act, one command a line, each run from a message posted to the host
// thread, so that the tour goes on inside a modal window an add-in shows.
// Mouse actions go to the windows as mouse messages at the places the
// windows report, so that they take the user's way in. The command language
// is described in tour.cpp. Host thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "com/unique_res.h"

namespace mailhost::host {

class tour {
public:
    using output = std::function<void(const std::wstring&)>;
    // lines: the command file; print: where results go; finished: called once,
    // after the last command or the first failure (the host then quits).
    tour(std::vector<std::wstring> lines, output print, std::function<void()> finished);
    tour(const tour&) = delete;
    tour& operator=(const tour&) = delete;

    void start();
    // The Outlook version the tour asks for in its first command ("version
    // 16.0"); empty when it asks for none.
    std::wstring host_version() const;
    bool failed() const noexcept { return failed_; }

    // The window procedure's entry; never throws.
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) noexcept;

private:
    void post_next();
    void run(std::size_t index);
    void execute(const std::vector<std::wstring>& words);
    void finish();

    HWND explorer_window() const;
    void click_at(HWND window, const RECT& where, WPARAM keys, bool twice = false) const;
    RECT located(const std::wstring& element) const;
    void print_log(bool clear);

    std::vector<std::wstring> lines_;
    output print_;
    std::function<void()> finished_;
    flinter::unique_hwnd window_;
    std::size_t next_ = 0;
    int explorer_ = 1;
    bool failed_ = false;
    bool done_ = false;
};

// The command file's lines; throws std::runtime_error when it cannot be read.
std::vector<std::wstring> read_lines(const std::wstring& path);

}  // namespace mailhost::host
