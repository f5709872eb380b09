#include "figures_process.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace flinter::net::testing {
namespace {

std::string self_path() {
    std::vector<char> path(MAX_PATH * 4);
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::string(path.data(), n);
}

}  // namespace

bool run_figures_child(const std::string& arguments, figures& f) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string out = std::string(temp) + "figures_" + std::to_string(::GetCurrentProcessId()) + ".txt";
    ::DeleteFileA(out.c_str());
    std::string command = "\"" + self_path() + "\" " + arguments + " --out=\"" + out + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (code != 0) std::fprintf(stderr, "%s: the run with %s ended with %lu\n", flavour(), arguments.c_str(), code);
    FILE* file = std::fopen(out.c_str(), "r");
    if (!file) return false;
    char name[64];
    double value = 0;
    while (std::fscanf(file, "%63s %lf", name, &value) == 2) f[name] = value;
    std::fclose(file);
    ::DeleteFileA(out.c_str());
    return code == 0;
}

bool write_figures(const figures& f, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    for (const auto& [name, value] : f)
        if (!std::isnan(value)) std::fprintf(file, "%s %.17g\n", name.c_str(), value);
    return std::fclose(file) == 0;
}

std::string option(int argc, char** argv, const std::string& name) {
    const std::string prefix = "--" + name + "=";
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind(prefix, 0) == 0) return std::string(argv[i]).substr(prefix.size());
    return {};
}

double median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

const char* flavour() {
#if defined(_WIN64)
    return "x64";
#else
    return "x86";
#endif
}

}  // namespace flinter::net::testing
