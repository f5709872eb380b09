#include "journey_process.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "com/hresult_error.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "heap_check.h"

namespace journeys {
namespace {

constexpr wchar_t kHttpCommandKey[] = L"http\\shell\\open\\command";
// A journey's process ends by itself, its own watchdog ending a hang; this is the last resort.
constexpr DWORD kProcessTimeoutMs = 15 * 60 * 1000;

std::wstring this_folder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path, n);
    return self.substr(0, self.find_last_of(L"\\/") + 1);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Runs a command line with its standard output read into text; exit code, or
// nullopt when it had to be killed.
std::optional<DWORD> run_captured(std::wstring command_line, std::string& text, DWORD timeout_ms) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return DWORD{~0u};
    flinter::unique_handle owned_read(read_end), owned_write(write_end);
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    flinter::unique_handle nothing(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = nothing.get() != INVALID_HANDLE_VALUE ? nothing.get() : ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return DWORD{~0u};
    flinter::unique_handle owned_process(process.hProcess), owned_thread(process.hThread);
    owned_write.reset();
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    });
    std::optional<DWORD> code;
    if (::WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.hProcess, 0xDEAD);
        ::WaitForSingleObject(process.hProcess, 10000);
    } else {
        DWORD exit_code = 0;
        ::GetExitCodeProcess(process.hProcess, &exit_code);
        code = exit_code;
    }
    reader.join();
    return code;
}

// A journey's process that could not be made, or whose Wine loader gave up
// before it ran ("failed to map the shared user data", seen now and then under
// heavy load), ends with ~0 and says nothing: it has not met Outlook yet, and
// is started again.
std::optional<DWORD> run_journey_child(const std::wstring& arguments, std::string& output) {
    constexpr int kStartAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        output.clear();
        const std::optional<DWORD> code =
            run_captured(L"\"" + this_folder() + L"journey_runner.exe\" " + arguments, output, kProcessTimeoutMs);
        if (code != DWORD{~0u} || !output.empty() || attempt == kStartAttempts) return code;
        ::Sleep(1000);
    }
}

journey_outcome run_journey_process(const std::wstring& arguments) {
    journey_outcome outcome;
    const std::optional<DWORD> code = run_journey_child(arguments, outcome.output);
    bool done = false;
    for (const std::string& line : lines_of(outcome.output)) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "step") {
            outcome.taken.push_back(parse_step(value.substr(value.find(' ') + 1)));
            ++outcome.counts[outcome.taken.back().verb];
        } else if (key == "fail" && outcome.invariant.empty()) {
            const auto colon = value.find(": ");
            outcome.invariant = value.substr(0, colon);
            outcome.detail = colon == std::string::npos ? "" : value.substr(colon + 2);
        } else if (key == "struck") {
            outcome.struck = std::atol(value.c_str());
        } else if (key == "done") {
            done = true;
        }
    }
    if (!code && outcome.invariant.empty()) {
        outcome.invariant = "deadline";
        outcome.detail = "the journey's process did not end and was killed";
    } else if (!done && outcome.invariant.empty()) {
        char text[64];
        std::snprintf(text, sizeof text, "the process ended with 0x%08lX", static_cast<unsigned long>(code.value_or(0)));
        outcome.invariant = "crash";
        outcome.detail = text;
    }
    outcome.passed = done && outcome.invariant.empty() && code == 0u;
    return outcome;
}

std::optional<std::wstring> http_command() {
    wchar_t value[1024];
    LONG size = sizeof value;
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, kHttpCommandKey, value, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::wstring(value);
}

void set_http_command(const std::wstring& command) {
    flinter::registry_key::create(HKEY_CLASSES_ROOT, kHttpCommandKey).set_string(nullptr, command);
}

DWORD regsvr32(const std::wstring& library, bool unregister) {
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    std::string ignored;
    return run_captured(L"\"" + std::wstring(system, n) + L"\\regsvr32.exe\" /s " + (unregister ? L"/u " : L"") + L"\"" +
                            this_folder() + library + L"\"",
                        ignored, 120000)
        .value_or(~0u);
}

}  // namespace

journey_outcome run_seeded_journey(unsigned seed, int steps) {
    return run_journey_process(L"--journey " + std::to_wstring(seed) + L" " + std::to_wstring(steps));
}

journey_outcome replay_journey(const std::vector<journey_step>& steps) {
    const std::wstring file = this_folder() + L"replay-" + std::to_wstring(::GetCurrentProcessId()) + L".journey";
    std::ofstream(file.c_str(), std::ios::binary | std::ios::trunc) << format_journey(steps);
    journey_outcome outcome = run_journey_process(L"--replay \"" + file + L"\"");
    ::DeleteFileW(file.c_str());
    return outcome;
}

shrunk_journey shrink(const journey_outcome& failure, int budget) {
    shrunk_journey result{failure.taken, false, 0};
    if (budget <= 0) return result;
    const auto still_fails = [&](const std::vector<journey_step>& candidate) -> std::optional<std::vector<journey_step>> {
        ++result.replays;
        const journey_outcome again = replay_journey(candidate);
        if (again.invariant != failure.invariant) return std::nullopt;
        return again.taken;
    };
    const auto first = still_fails(result.steps);
    if (!first) return result;
    result.reproduced = true;
    result.steps = *first;
    for (std::size_t chunk = std::max<std::size_t>(result.steps.size() / 2, 1); chunk >= 1; chunk /= 2) {
        for (std::size_t at = 0; at < result.steps.size() && result.replays < budget;) {
            std::vector<journey_step> candidate = result.steps;
            candidate.erase(candidate.begin() + static_cast<std::ptrdiff_t>(at),
                            candidate.begin() + static_cast<std::ptrdiff_t>(std::min(at + chunk, candidate.size())));
            if (const auto smaller = still_fails(candidate); smaller && smaller->size() < result.steps.size())
                result.steps = *smaller;
            else
                at += chunk;
        }
        if (chunk == 1 || result.replays >= budget) break;
    }
    return result;
}

std::string as_test_source(const std::string& name, const std::vector<journey_step>& steps) {
    std::string source = "TEST_F(JourneyRegressions, " + name + ") {\n    expect_journey_passes({\n";
    for (const auto& step : steps) source += "        \"" + step.line() + "\",\n";
    return source + "    });\n}\n";
}

installation::installation() {
    // The journeys need Wine's heap checking; found on here once, each journey's process need not check it again.
    if (flinter::testing::freed_block_writes_show()) ::SetEnvironmentVariableW(L"FLINTER_HEAP_CHECKED", L"1");
    // Outlook first: the add-in's registration looks for it.
    ok_ = regsvr32(L"mailhost.dll", false) == 0 && regsvr32(L"QAV_Flinter.dll", false) == 0;
    http_command_before_ = http_command();
    set_http_command(L"\"" + this_folder() + L"url_recorder.exe\" \"%1\"");
}

installation::~installation() {
    regsvr32(L"QAV_Flinter.dll", true);
    regsvr32(L"mailhost.dll", true);
    if (http_command_before_) set_http_command(*http_command_before_);
    else ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kHttpCommandKey);
}

}  // namespace journeys
