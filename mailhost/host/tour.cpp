// The command language, one command a line; words are separated by blanks,
// "double quotes" keep blanks in one word, # starts a comment line:
//
//   echo TEXT...          prints the text
//   wait MS               lets MS milliseconds pass while messages flow
//   explorer N            acts on explorer N from now on; the user brings it to the front
//   new-explorer          opens the current folder in a new explorer (the window's
//                         system menu), which becomes the current one
//   close                 closes the current explorer window, as its close box does
//   folder NAME           clicks the folder NAME (a name or a path) in the folder pane
//   select N [N...]       clicks row N of the message list, further rows with Ctrl held
//   open N                double-clicks row N (the item opens in an inspector)
//   version V             as the first command: the Outlook to start (11.0, 14.0 or 16.0;
//                         a --version on the command line wins); later, or when the
//                         Outlook runs: fails unless Application.Version starts with V
//   click TEXT            clicks the command-bar control whose caption (without "&")
//                         or Tag is TEXT
//   ribbon TEXT           clicks the ribbon button whose label or id is TEXT (14.0, 16.0)
//   ribbon-controls       prints the add-ins' ribbon groups and buttons of the current
//                         explorer (mailhost_ribbon_controls)
//   addins                opens the COM Add-ins dialog over the current explorer
//   press WINDOW CONTROL  clicks the button or check box whose text is CONTROL in the
//                         window captioned WINDOW
//   text WINDOW           prints the texts of the window and of its controls
//   shot WINDOW FILE      saves a picture of the window as a BMP file; WINDOW
//                         "explorer" is the current explorer, "screen" the part of
//                         the screen that this program's shown windows cover
//   sent                  prints the message the last Send wrote (up to 60 lines)
//   log                   prints the simulated Outlook's call log and empties it
//   expect-log TEXT       fails unless the call log holds TEXT
//   quit                  Outlook quits as File > Exit makes it
//
// A window is named by its caption (a visible window of this program first).
// A failing command ends the tour; the host then quits and reports failure.
#include "tour.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "com/text_conversion.h"
#include "com/window_binding.h"
#include "mailhost/simulated_outlook.h"
#include "window_picture.h"

namespace mailhost::host {
namespace {

const wchar_t kTourClass[] = L"mailhost_tour";
constexpr UINT kRunCommand = WM_APP + 1;
constexpr UINT_PTR kWaitTimer = 1;

LRESULT CALLBACK tour_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    auto* self = flinter::object_of_window<tour>(window);
    if (self && (message == kRunCommand || message == WM_TIMER)) return self->on_message(message, wparam, lparam);
    return ::DefWindowProcW(window, message, wparam, lparam);
}

[[noreturn]] void refuse(const std::wstring& why) { throw std::runtime_error(flinter::narrow(why.c_str())); }

std::vector<std::wstring> words_of(const std::wstring& line) {
    std::vector<std::wstring> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && iswspace(line[i])) ++i;
        if (i >= line.size()) break;
        std::wstring word;
        if (line[i] == L'"') {
            const auto end = line.find(L'"', i + 1);
            if (end == std::wstring::npos) refuse(L"unmatched quote");
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && !iswspace(line[i])) word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

std::wstring plain(const std::wstring& text) {
    std::wstring result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        result += text[i];
    }
    return result;
}

bool same(const std::wstring& a, const std::wstring& b) { return ::_wcsicmp(a.c_str(), b.c_str()) == 0; }

std::wstring text_of(HWND window) {
    const int length = static_cast<int>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = static_cast<int>(::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK collect_window(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// A top-level window of this thread by caption, a visible one first.
HWND window_captioned(const std::wstring& caption) {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), collect_window, reinterpret_cast<LPARAM>(&windows));
    HWND hidden = nullptr;
    for (HWND window : windows) {
        if (!same(text_of(window), caption)) continue;
        if (::IsWindowVisible(window)) return window;
        if (!hidden) hidden = window;
    }
    if (hidden) return hidden;
    refuse(L"no window captioned \"" + caption + L"\"");
}

// The screen area that this thread's shown top-level windows cover together.
RECT shown_windows_area() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), collect_window, reinterpret_cast<LPARAM>(&windows));
    RECT area{};
    for (HWND window : windows) {
        RECT frame{};
        if (::IsWindowVisible(window) && ::GetWindowRect(window, &frame)) ::UnionRect(&area, &area, &frame);
    }
    if (::IsRectEmpty(&area)) refuse(L"no window is shown");
    return area;
}

std::vector<HWND> descendants(HWND window) {
    std::vector<HWND> children;
    ::EnumChildWindows(window, collect_window, reinterpret_cast<LPARAM>(&children));
    return children;
}

int number(const std::wstring& word) {
    std::size_t used = 0;
    const int value = std::stoi(word, &used);
    if (used != word.size()) refuse(L"not a number: " + word);
    return value;
}

void check(HRESULT hr, const std::wstring& what) {
    if (FAILED(hr)) {
        wchar_t code[16];
        ::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
        refuse(what + L" failed: " + code);
    }
}

// Application.Version of the Outlook this program runs, found where Outlook
// registers itself (the running-object table).
std::wstring running_version() {
    const GUID outlook{0x0006F03A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    Microsoft::WRL::ComPtr<IUnknown> running;
    check(::GetActiveObject(outlook, nullptr, &running), L"finding the running Outlook");
    Microsoft::WRL::ComPtr<IDispatch> application;
    check(running.As(&application), L"asking Outlook for IDispatch");
    return flinter::get(application.Get(), L"Version").as_wstring();
}

}  // namespace

std::vector<std::wstring> read_lines(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + flinter::narrow(path.c_str()));
    std::vector<std::wstring> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(flinter::widen(line));
    }
    return lines;
}

tour::tour(std::vector<std::wstring> lines, output print, std::function<void()> finished)
    : lines_(std::move(lines)), print_(std::move(print)), finished_(std::move(finished)) {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = tour_procedure;
    wc.lpszClassName = kTourClass;
    flinter::register_window_class(wc);
    window_.reset(::CreateWindowExW(0, kTourClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, flinter::this_module(), nullptr));
    if (!window_) throw std::runtime_error("the tour's window could not be made");
    flinter::bind_window(window_.get(), this);
}

void tour::start() { post_next(); }

std::wstring tour::host_version() const {
    for (const auto& line : lines_) {
        const auto words = words_of(line);
        if (words.empty() || words[0].starts_with(L"#")) continue;
        return words[0] == L"version" && words.size() == 2 ? words[1] : std::wstring();
    }
    return {};
}

void tour::post_next() { ::PostMessageW(window_.get(), kRunCommand, 0, 0); }

LRESULT tour::on_message(UINT message, WPARAM, LPARAM) noexcept {
    if (message == WM_TIMER) {
        ::KillTimer(window_.get(), kWaitTimer);
        post_next();
        return 0;
    }
    if (done_) return 0;
    const std::size_t index = next_++;
    if (index >= lines_.size()) {
        finish();
        return 0;
    }
    try {
        run(index);
    } catch (const std::exception& e) {
        print_(L"tour: line " + std::to_wstring(index + 1) + L": " + lines_[index] + L": " + flinter::widen(e.what()));
        failed_ = true;
        finish();
    }
    return 0;
}

void tour::finish() {
    if (done_) return;
    done_ = true;
    finished_();
}

void tour::run(std::size_t index) {
    const auto words = words_of(lines_[index]);
    if (words.empty() || words[0].starts_with(L"#")) return post_next();
    if (words[0] == L"wait") {
        if (words.size() != 2) refuse(L"wait MS");
        ::SetTimer(window_.get(), kWaitTimer, static_cast<UINT>(std::max(number(words[1]), 1)), nullptr);
        return;
    }
    // The next command is on its way first: a command that opens a modal
    // window returns only when it closes, and the tour goes on inside it.
    post_next();
    execute(words);
}

HWND tour::explorer_window() const {
    HWND window = mailhost_explorer_window(explorer_);
    if (!window) refuse(L"explorer " + std::to_wstring(explorer_) + L" is not open");
    return window;
}

RECT tour::located(const std::wstring& element) const {
    RECT where{};
    check(mailhost_locate(explorer_, element.c_str(), &where), L"finding " + element);
    return where;
}

void tour::click_at(HWND window, const RECT& where, WPARAM keys, bool twice) const {
    const LPARAM at = MAKELPARAM((where.left + where.right) / 2, (where.top + where.bottom) / 2);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
    ::SendMessageW(window, WM_LBUTTONUP, keys, at);
    if (!twice) return;
    ::SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON | keys, at);
    ::SendMessageW(window, WM_LBUTTONUP, keys, at);
}

void tour::print_log(bool clear) {
    std::wistringstream lines(simulated_outlook::call_log());
    for (std::wstring line; std::getline(lines, line);) print_(L"  " + line);
    if (clear) mailhost_clear_call_log();
}

void tour::execute(const std::vector<std::wstring>& words) {
    const std::wstring& command = words[0];
    const auto rest = [&](std::size_t from) {
        std::wstring joined;
        for (std::size_t i = from; i < words.size(); ++i) joined += (i > from ? L" " : L"") + words[i];
        return joined;
    };
    const auto want = [&](std::size_t count, const wchar_t* usage) {
        if (words.size() != count) refuse(usage);
    };
    if (command == L"echo") {
        print_(rest(1));
    } else if (command == L"explorer") {
        want(2, L"explorer N");
        explorer_ = number(words[1]);
        check(mailhost_activate_explorer(explorer_), L"activating explorer " + words[1]);
    } else if (command == L"new-explorer") {
        want(1, L"new-explorer");
        ::SendMessageW(explorer_window(), WM_SYSCOMMAND, MAILHOST_SC_NEW_WINDOW, 0);
        explorer_ = mailhost_explorer_count();
    } else if (command == L"close") {
        want(1, L"close");
        ::SendMessageW(explorer_window(), WM_CLOSE, 0, 0);
        explorer_ = 1;
    } else if (command == L"folder") {
        if (words.size() < 2) refuse(L"folder NAME");
        click_at(explorer_window(), located(L"folder:" + rest(1)), 0);
    } else if (command == L"select") {
        if (words.size() < 2) refuse(L"select N [N...]");
        for (std::size_t i = 1; i < words.size(); ++i)
            click_at(explorer_window(), located(L"item:" + std::to_wstring(number(words[i]))), i > 1 ? MK_CONTROL : 0);
    } else if (command == L"open") {
        want(2, L"open N");
        click_at(explorer_window(), located(L"item:" + std::to_wstring(number(words[1]))), 0, true);
    } else if (command == L"click") {
        if (words.size() < 2) refuse(L"click TEXT");
        click_at(explorer_window(), located(L"control:" + rest(1)), 0);
    } else if (command == L"ribbon") {
        if (words.size() < 2) refuse(L"ribbon TEXT");
        click_at(explorer_window(), located(L"ribbon:" + rest(1)), 0);
    } else if (command == L"ribbon-controls") {
        want(1, L"ribbon-controls");
        std::wistringstream lines(simulated_outlook::ribbon_controls(explorer_));
        for (std::wstring line; std::getline(lines, line);) print_(L"  " + line);
    } else if (command == L"version") {
        want(2, L"version V");
        const std::wstring running = running_version();
        if (!running.starts_with(words[1])) refuse(L"Outlook's version is " + running);
    } else if (command == L"addins") {
        want(1, L"addins");
        HWND dialog = nullptr;
        check(mailhost_open_addins_dialog(explorer_, &dialog), L"opening the COM Add-ins dialog");
    } else if (command == L"press") {
        want(3, L"press WINDOW CONTROL");
        for (HWND child : descendants(window_captioned(words[1]))) {
            if (!same(plain(text_of(child)), plain(words[2])) || !same(class_of(child), L"Button")) continue;
            ::SendMessageW(child, BM_CLICK, 0, 0);
            return;
        }
        refuse(L"no button \"" + words[2] + L"\" in \"" + words[1] + L"\"");
    } else if (command == L"text") {
        want(2, L"text WINDOW");
        HWND window = same(words[1], L"explorer") ? explorer_window() : window_captioned(words[1]);
        print_(L"[" + text_of(window) + L"]");
        for (HWND child : descendants(window)) {
            if (!::IsWindowVisible(child)) continue;
            std::wistringstream lines(text_of(child));
            for (std::wstring line; std::getline(lines, line, L'\r');) {
                if (!line.empty() && line.front() == L'\n') line.erase(0, 1);
                if (!line.empty()) print_(L"  " + line);
            }
        }
    } else if (command == L"shot") {
        want(3, L"shot WINDOW FILE");
        if (same(words[1], L"screen")) {
            save_screen_picture(shown_windows_area(), words[2]);
            print_(L"picture of the screen: " + words[2]);
            return;
        }
        HWND window = same(words[1], L"explorer") ? explorer_window() : window_captioned(words[1]);
        save_window_picture(window, words[2]);
        print_(L"picture of \"" + text_of(window) + L"\": " + words[2]);
    } else if (command == L"sent") {
        want(1, L"sent");
        const std::wstring file = simulated_outlook::last_sent_file();
        if (file.empty()) refuse(L"nothing has been sent");
        const auto lines = read_lines(file);
        constexpr std::size_t kShown = 60;
        for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) print_(L"  " + lines[i]);
        if (lines.size() > kShown) print_(L"  ... (" + std::to_wstring(lines.size() - kShown) + L" more lines)");
    } else if (command == L"log") {
        want(1, L"log");
        print_log(true);
    } else if (command == L"expect-log") {
        if (words.size() < 2) refuse(L"expect-log TEXT");
        if (simulated_outlook::call_log().find(rest(1)) == std::wstring::npos) {
            print_log(false);
            refuse(L"the call log does not hold \"" + rest(1) + L"\"");
        }
    } else if (command == L"quit") {
        want(1, L"quit");
        check(mailhost_quit(), L"quitting");
    } else {
        refuse(L"unknown command " + command);
    }
}

}  // namespace mailhost::host
