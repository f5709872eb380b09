#include "expectations.h"

#include <mapidefs.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "com/mapi.h"
#include "com/registry.h"
#include "core/analysis/header_evaluation.h"
#include "heap_check.h"
#include "mailhost/mailhost.h"

namespace journeys {
namespace {

using Microsoft::WRL::ComPtr;
using flinter::get;
using flinter::get_object;
using flinter::variant;

constexpr char kEmailBox[] = "Please specify valid email in settings";
constexpr char kBccBox[] = "Please specify valid BCC email in settings";
constexpr wchar_t kCodeWord[] = L"plumbthesources";
constexpr wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns\\Korvex.korv";

std::wstring take(BSTR text) {
    std::wstring result = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return result;
}

std::string narrow(const std::wstring& text) { return flinter::narrow(text.c_str()); }

std::wstring acp_wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// Line breaks made "\n", trailing ones dropped, as a rich edit and a text compare equal.
std::wstring normalised(const std::wstring& text) {
    std::wstring result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r') result += text[i];
        else if (i + 1 >= text.size() || text[i + 1] != L'\n') result += L'\n';
    }
    while (!result.empty() && result.back() == L'\n') result.pop_back();
    return result;
}

broken_invariant broken(const char* invariant, std::string detail) { return {invariant, std::move(detail)}; }

bool plausible_address(const std::string& address) {
    const auto first = address.find_first_not_of(" \t\r\n");
    return first != std::string::npos && address.find('@') != std::string::npos && address.find('.') != std::string::npos;
}

// The transport headers a message holds, read from the store as a MAPI client
// reads them; empty when it has none.
std::string transport_headers(IDispatch* item) {
    static const auto free_buffer = [] {
        using free_fn = ULONG(STDAPICALLTYPE*)(LPVOID);
        const HMODULE mapi = ::LoadLibraryW(L"mapi32.dll");
        return mapi ? reinterpret_cast<free_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPIFreeBuffer"))) : nullptr;
    }();
    const auto object = get(item, L"MAPIObject").as_unknown();
    ComPtr<IMAPIProp> message;
    if (!object || FAILED(object->QueryInterface(IID_IMAPIProp, reinterpret_cast<void**>(message.GetAddressOf()))))
        return {};
    SizedSPropTagArray(1, tags) = {1, {PR_TRANSPORT_MESSAGE_HEADERS_A}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    const HRESULT hr = message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
    std::string headers;
    if (SUCCEEDED(hr) && values && count == 1 && values[0].ulPropTag == PR_TRANSPORT_MESSAGE_HEADERS_A)
        headers = values[0].Value.lpszA;
    if (values && free_buffer) free_buffer(values);
    return headers;
}

char decimal_separator() {
    char separator[8] = {};
    return ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) >= 2 ? separator[0] : '.';
}

// The verdict the core evaluation gives the first selected message of the
// explorer in front; empty when nothing is selected.
std::wstring verdict_of_selection(IDispatch* application, const settings_values& controls) {
    const auto selection = get_object(get_object(application, L"ActiveExplorer").Get(), L"Selection");
    if (get(selection.Get(), L"Count").as_int() <= 0) return {};
    const auto item = get_object(selection.Get(), L"Item", {variant(1)});
    const std::string headers = get(item.Get(), L"Class").as_int() == 43 ? transport_headers(item.Get()) : std::string();
    std::wstring text;
    for (const auto& line : flinter::EvaluateHeader(headers, {controls.cb1, controls.cb2, controls.cb3}, decimal_separator()).lines)
        text += acp_wide(line.text) + L"\n";
    return normalised(text);
}

bool connected_in(IDispatch* application) {
    try {
        const auto addins = get_object(application, L"COMAddIns");
        return get(get_object(addins.Get(), L"Item", {variant(L"Korvex.korv")}).Get(), L"Connect").as_bool();
    } catch (const std::exception&) {
        return false;
    }
}

std::wstring settings_field(HWND window, int id) { return text_of(::GetDlgItem(window, id)); }
bool settings_box(HWND window, int id) { return ::IsDlgButtonChecked(window, id) == BST_CHECKED; }

bool is_spam_box(const std::wstring& text) {
    return text == flinter::widen(kEmailBox) || text == flinter::widen(kBccBox);
}

bool is_click(const journey_step& step, const char* caption) { return step.verb == "click" && step.word(1) == caption; }

int queued(const journey_step& step, const std::string& token) {
    return step.verb != "burst" ? 0 : static_cast<int>(std::count(step.words.begin() + 1, step.words.end(), token));
}

}  // namespace

// The settings window's controls, by the identifiers the window gives them.
namespace settings_ids {
constexpr int Edit1 = 110, Edit2 = 111, Edit3 = 112, Edit4 = 113, CheckBox1 = 114, cb1 = 115, cb2 = 116, cb3 = 117;
}

std::string describe(const settings_values& v) {
    return "email \"" + v.email + "\", bcc \"" + v.bcc + "\", name \"" + v.name + "\", pass \"" + v.pass + "\", delete " +
           std::to_string(v.delete_after) + ", cb1 " + std::to_string(v.cb1) + ", cb2 " + std::to_string(v.cb2) +
           ", cb3 " + std::to_string(v.cb3);
}

settings_values read_settings_file(const std::string& path) {
    const auto text = [&](const char* key) {
        char value[2048] = {};
        ::GetPrivateProfileStringA("general", key, "<absent>", value, sizeof value, path.c_str());
        return std::string(value);
    };
    settings_values v;
    v.email = text("email");
    v.bcc = text("bcc");
    v.name = text("name");
    v.pass = text("pass");
    v.delete_after = text("delete") != "0";
    v.cb1 = text("cb1") != "0";
    v.cb2 = text("cb2") != "0";
    v.cb3 = text("cb3") != "0";
    return v;
}

void write_settings_file(const std::string& path, const settings_values& v) {
    const auto put = [&](const char* key, const std::string& value) {
        ::WritePrivateProfileStringA("general", key, value.c_str(), path.c_str());
    };
    put("email", v.email);
    put("bcc", v.bcc);
    put("name", v.name);
    put("pass", v.pass);
    put("delete", v.delete_after ? "1" : "0");
    put("cb1", v.cb1 ? "1" : "0");
    put("cb2", v.cb2 ? "1" : "0");
    put("cb3", v.cb3 ? "1" : "0");
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

host_log read_host_log() {
    host_log log;
    log.text = take(mailhost_call_log());
    std::wistringstream lines(log.text);
    mailhost_clear_call_log();
    for (std::wstring line; std::getline(lines, line);) {
        if (line.starts_with(L"sent ")) ++log.sent;
        else if (line.starts_with(L"addin ") && line.find(L" failed") != std::wstring::npos) log.addin_failures.push_back(line);
        else if (line.find(L"over-released") != std::wstring::npos) log.over_releases.push_back(line);
    }
    return log;
}

void expectations::forget_windows() {
    settings_open_ = about_open_ = header_open_ = false;
    verdict_.reset();
}

void expectations::connection_changed(bool connected, const user_view& view) {
    connected_ = connected;
    followed_.clear();
    forget_windows();
    if (!connected) return;
    // A new module: it follows the explorer in front, and its settings window holds the file's values.
    if (const auto* front = view.in_front()) followed_.insert(front->window.handle);
    controls_ = saved_;
    tainted_ = false;
}

std::optional<broken_invariant> expectations::started(IDispatch* application, const user_view& view, bool struck) {
    saved_ = read_settings_file(settings_path_);
    controls_ = saved_;
    const bool connected = connected_in(application);
    connection_changed(connected, view);
    tainted_ = struck;
    if (connected != profile_on_ && !struck)
        return broken("add-in state", std::string("the add-in is ") + (connected ? "on" : "off") +
                                          " after a start with its load behaviour saying " + (profile_on_ ? "on" : "off"));
    return standing_checks(view);
}

void expectations::before(const journey_step& step, const user_view& view) {
    // Outlook loads the add-in at its start when its load behaviour says so.
    if (step.verb == "start") {
        const auto key = flinter::registry_key::open(HKEY_CURRENT_USER, kAddInKey, KEY_READ);
        profile_on_ = key && key->dword(L"LoadBehavior").value_or(0) == 3;
    }
    before_ = view;
    boxes_before_.clear();
    for (const auto& box : view.boxes) boxes_before_.insert(box.window.handle);
}

std::optional<broken_invariant> expectations::after(const journey_step& step, IDispatch* application,
                                                    const user_view& view, const std::string& struck_member,
                                                    const host_log& log) {
    const bool struck = !struck_member.empty();
    // A sink whose unadvise the host refused stays with the host, which may keep it.
    for (const char* refusal : {".Unadvise", ".FindConnectionPoint", ".QueryInterface"})
        if (struck_member.ends_with(refusal)) kept_sinks_ = true;
    // No box but those the step asked for: an error box means a failure the user did not cause.
    const bool spam_click = is_click(step, "Spam") || queued(step, "click:Spam") > 0;
    std::vector<std::wstring> new_boxes;
    for (const auto& box : view.boxes) {
        if (boxes_before_.count(box.window.handle)) continue;
        new_boxes.push_back(box.text);
        const bool spam_box = is_spam_box(box.text);
        if (spam_box && !spam_click)
            return broken("click once", "\"Spam\"'s box \"" + narrow(box.text) + "\" shows again after step " +
                                            step.line());
        if (!spam_box && !struck) return broken("error box", "\"" + narrow(box.caption) + "\": " + narrow(box.text));
    }
    if (!struck)
        for (const auto& failure : log.addin_failures) return broken("host log", narrow(failure));
    for (const auto& line : log.over_releases) return broken("host log", narrow(line));

    if (!view.running) {
        connected_ = false;
        followed_.clear();
        forget_windows();
    } else {
        const bool connected = connected_in(application);
        if (connected != connected_) connection_changed(connected, view);
    }
    // After the connection's change: a failure that struck while the add-in
    // connected leaves the new module in a state the runner cannot know.
    if (struck) tainted_ = true;
    std::erase_if(followed_, [](HWND window) { return !::IsWindow(window); });
    if (auto failure = step_outcome(step, application, view, struck, log)) return failure;
    return standing_checks(view);
}

// What the step itself must have done, once.
std::optional<broken_invariant> expectations::step_outcome(const journey_step& step, IDispatch* application,
                                                           const user_view& view, bool struck, const host_log& log) {
    const std::string& verb = step.verb;
    const bool exact = !struck && !tainted_ && connected_;
    if (verb == "new-explorer" && connected_ && !view.explorers.empty())
        followed_.insert(view.explorers.back().window.handle);
    if (verb == "click" && connected_) {
        const std::string& caption = step.word(1);
        const int number = step.number(0);
        const int selected = number >= 1 && number <= static_cast<int>(before_.explorers.size())
                                 ? before_.explorers[number - 1].selected : 0;
        if (caption == "Spam" && exact) {
            std::vector<std::wstring> boxes;
            for (const auto& box : view.boxes)
                if (!boxes_before_.count(box.window.handle)) boxes.push_back(box.text);
            std::vector<std::wstring> expected_boxes;
            int expected_sent = selected;
            if (!plausible_address(controls_.email)) expected_boxes = {flinter::widen(kEmailBox)};
            else if (!controls_.bcc.empty() && !plausible_address(controls_.bcc)) expected_boxes = {flinter::widen(kBccBox)};
            if (!expected_boxes.empty()) expected_sent = 0;
            // The last click's handler still waits in its box: this click is dropped.
            if (std::any_of(before_.boxes.begin(), before_.boxes.end(), [](const box_seen& box) { return is_spam_box(box.text); })) {
                expected_boxes.clear();
                expected_sent = 0;
            }
            if (boxes != expected_boxes || log.sent != expected_sent)
                return broken("click once", "\"Spam\" with " + std::to_string(selected) + " selected and " +
                                                describe(controls_) + " sent " + std::to_string(log.sent) + " and showed " +
                                                std::to_string(boxes.size()) + " boxes");
        }
        if (caption == "Settings") {
            settings_open_ = true;
            controls_ = saved_;   // the window loads the file each time it opens
            if (!tainted_ && !struck)
                if (auto failure = settings_read_back(view)) return failure;
        }
        if (caption == "Analyzer") {
            expect_verdict(application);
            header_open_ = false;
        }
        // A click whose button Outlook could not describe (its failure struck)
        // may not reach the command: at most once then.
        if (caption == "Login") ++(struck ? queued_logins_ : logins_);
    }
    // A row clicked (also the first click of a double click that opens it) is a new selection.
    if ((verb == "select" || verb == "open" || verb == "folder") && connected_ && before_.info.visible) {
        const int number = step.number(0);
        const bool selection_changes = verb != "folder" || (number >= 1 && number <= static_cast<int>(before_.explorers.size()) &&
                                                            before_.explorers[number - 1].selected > 0);
        if (selection_changes) {
            expect_verdict(application);
            header_open_ = false;
        }
    }
    if (verb == "burst") {
        // Queued input: each click reaches its command at most once, in whatever state it meets.
        queued_logins_ += queued(step, "click:Login");
        const int spam = queued(step, "click:Spam");
        // A queued click does not bring its window to the front: "Spam"
        // reports the selection of whichever window is in front when it arrives.
        int selected = 0;
        for (const auto& explorer : before_.explorers) selected = std::max(selected, explorer.selected);
        if (queued(step, "select:1") > 0) selected = std::max(selected, 1);
        if (!struck && log.sent > spam * selected)
            return broken("click once", std::to_string(spam) + " queued \"Spam\" clicks with " + std::to_string(selected) +
                                            " selected sent " + std::to_string(log.sent));
        if (view.settings.visible && !settings_open_) {
            settings_open_ = true;
            controls_ = saved_;
            if (!tainted_ && !struck)
                if (auto failure = settings_read_back(view)) return failure;
        }
        if (!view.settings.visible) settings_open_ = false;
        verdict_.reset();
        header_open_ = view.header.visible;
    }
    if (verb == "type" || verb == "tick") {
        const std::string& field = step.word(0);
        const std::string value = step.rest(1);
        if (field == "email") controls_.email = value;
        else if (field == "bcc") controls_.bcc = value;
        else if (field == "name") controls_.name = value;
        else if (field == "pass") controls_.pass = value;
        else if (field == "delete") controls_.delete_after = !controls_.delete_after;
        else if (field == "cb1") controls_.cb1 = !controls_.cb1;
        else if (field == "cb2") controls_.cb2 = !controls_.cb2;
        else if (field == "cb3") controls_.cb3 = !controls_.cb3;
    }
    if (verb == "press" && step.word(0) == "Settings") {
        if (step.word(1) == "OK") {
            settings_open_ = false;
            saved_ = controls_;
            const settings_values stored = read_settings_file(settings_path_);
            if (!struck && stored != saved_)
                return broken("settings saved", "typed " + describe(saved_) + ", the file holds " + describe(stored));
        } else if (step.word(1) == "Cancel") {
            settings_open_ = false;
        } else if (step.word(1) == "About") {
            about_open_ = true;
        }
    }
    if (verb == "press" && step.word(0) == "About") about_open_ = false;
    if (verb == "close-window") {
        if (step.rest(0) == "Settings") settings_open_ = false;
        if (step.rest(0) == "About") about_open_ = false;
        if (step.rest(0) == "header") header_open_ = false;
    }
    if (verb == "code-word") {
        verdict_ = kCodeWord;
        header_open_ = true;
    }
    if (!view.running) forget_windows();
    return std::nullopt;
}

void expectations::expect_verdict(IDispatch* application) {
    try {
        verdict_ = verdict_of_selection(application, controls_);
    } catch (const std::exception&) {
        verdict_.reset();
    }
}

std::optional<broken_invariant> expectations::settings_read_back(const user_view& view) const {
    const HWND w = view.settings.handle;
    if (!w) return broken("windows", "\"Settings\" was clicked and the settings window is not shown");
    settings_values shown;
    shown.email = narrow(settings_field(w, settings_ids::Edit1));
    shown.bcc = narrow(settings_field(w, settings_ids::Edit2));
    shown.pass = narrow(settings_field(w, settings_ids::Edit3));
    shown.name = narrow(settings_field(w, settings_ids::Edit4));
    shown.delete_after = settings_box(w, settings_ids::CheckBox1);
    shown.cb1 = settings_box(w, settings_ids::cb1);
    shown.cb2 = settings_box(w, settings_ids::cb2);
    shown.cb3 = settings_box(w, settings_ids::cb3);
    if (shown != saved_) return broken("settings saved", "saved " + describe(saved_) + ", the window shows " + describe(shown));
    return std::nullopt;
}

// What holds after every step, whatever it was.
std::optional<broken_invariant> expectations::standing_checks(const user_view& view) const {
    if (!view.user_can_act())
        return broken("stuck", "Outlook takes no input: every window is disabled and nothing is left to answer");
    if (!view.running) return std::nullopt;
    if (auto failure = toolbar_checks(view)) return failure;
    if (tainted_) return std::nullopt;
    // A window closed while a box opened inside its showing stays on the screen until the box is answered.
    const bool closing_under_box = !settings_open_ && !view.boxes.empty();
    if (view.settings.visible != settings_open_ && !closing_under_box)
        return broken("windows", std::string("the settings window is ") + (view.settings.visible ? "shown" : "not shown") +
                                     (settings_open_ ? " while the user has it open" : " without the user asking"));
    if (view.about.visible != about_open_)
        return broken("windows", std::string("the About box is ") + (view.about.visible ? "shown" : "not shown") +
                                     (about_open_ ? " while the user has it open" : " without the user asking"));
    if (connected_ && view.header.visible != header_open_)
        return broken("windows", std::string("the raw-header window is ") + (view.header.visible ? "shown" : "hidden") +
                                     " against what was typed");
    if (connected_ && view.info.visible && verdict_) {
        const std::wstring shown = normalised(text_of(::GetWindow(view.info.handle, GW_CHILD)));
        if (shown != *verdict_)
            return broken("information window", "it shows \"" + narrow(shown) + "\" where the verdict is \"" +
                                                    narrow(*verdict_) + "\"");
    }
    return std::nullopt;
}

// The group shows the four buttons on the Home tab of a mail folder's window
// while the add-in is on, and nothing of it while the add-in is off.
std::optional<broken_invariant> expectations::ribbon_checks(const explorer_seen& e, const std::string& which) const {
    if (!connected_ && !e.ribbon_buttons.empty()) return broken("ribbon", which + " shows the group while the add-in is off");
    if (connected_ && e.item_type == 0 && e.ribbon_buttons.size() != std::size(kButtons))
        return broken("ribbon", which + " shows a mail folder with " + std::to_string(e.ribbon_buttons.size()) +
                                    " of the buttons in the group");
    return std::nullopt;
}

std::optional<broken_invariant> expectations::toolbar_checks(const user_view& view) const {
    if (view.inspector_bar_copies > 0) return broken("toolbar", "an inspector has the bar");
    for (std::size_t i = 0; i < view.explorers.size(); ++i) {
        const explorer_seen& e = view.explorers[i];
        const std::string which = "explorer " + std::to_string(i + 1) + " (" + narrow(e.folder) + ")";
        if (e.bar_copies > 1) return broken("toolbar", which + " has " + std::to_string(e.bar_copies) + " bars");
        if (ribbon_ && (e.bar_copies > 0 || e.bar_shown)) return broken("toolbar", which + " has the bar in a host with a ribbon");
        if (tainted_) continue;
        if (ribbon_) {
            if (auto wrong = ribbon_checks(e, which)) return wrong;
            continue;
        }
        const bool followed = connected_ && followed_.count(e.window.handle);
        if (!followed && e.bar_copies > 0)
            return broken("toolbar", which + " has the bar while the add-in " + (connected_ ? "does not follow it" : "is off"));
        if (!followed) continue;
        const bool mail = e.item_type == 0;
        if (mail && (!e.bar_shown || e.buttons.size() != std::size(kButtons)))
            return broken("toolbar", which + " shows a mail folder " +
                                         (e.bar_shown ? "with " + std::to_string(e.buttons.size()) + " of the buttons" : "without the bar"));
        if (!mail && e.bar_shown) return broken("toolbar", which + " shows the bar in a folder of item type " + std::to_string(e.item_type));
    }
    return std::nullopt;
}

std::optional<broken_invariant> expectations::quit_checks(const host_log& log) {
    for (const auto& line : log.over_releases) return broken("host log", narrow(line));
    if (!tainted_)
        for (const auto& failure : log.addin_failures) return broken("host log", narrow(failure));
    if (const long refs = mailhost_outstanding_ref_count(); refs != 0)
        return broken("host references", std::to_string(refs) + " left: " + narrow(take(mailhost_outstanding_refs())));
    if (!kept_sinks_ && mailhost_advised_sink_count() != 0)
        return broken("sinks", "still advised: " + narrow(take(mailhost_advised_sinks())));
    if (!flinter::testing::heaps_valid()) return broken("freed memory", "a heap is damaged: a write into freed memory");
    kept_sinks_ = false;
    tainted_ = false;
    connected_ = false;
    followed_.clear();
    forget_windows();
    return std::nullopt;
}

std::optional<broken_invariant> expectations::final_checks(const std::wstring& opened_urls_file) {
    // The browser's stand-in writes when it has run.
    int lines = 0;
    for (int waited = 0; waited <= 20000; waited += 100) {
        std::ifstream in(opened_urls_file.c_str());
        lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        if (lines >= logins_ + queued_logins_ || (lines >= logins_ && waited >= 3000)) break;
        ::Sleep(100);
    }
    if (lines < logins_ || lines > logins_ + queued_logins_)
        return broken("click once", std::to_string(logins_) + " clicks on \"Login\" (and " + std::to_string(queued_logins_) +
                                        " queued) opened " + std::to_string(lines) + " addresses");
    return std::nullopt;
}

}  // namespace journeys
