// Stands in for the browser in the end-to-end tests: registered as the shell's
// program for http addresses, it appends the address it was asked to open as
// one line to "opened-urls.txt" beside itself.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments || count < 2) return 2;
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, n);
    file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"opened-urls.txt";
    FILE* out = ::_wfopen(file.c_str(), L"ab");
    if (!out) return 1;
    std::fprintf(out, "%ls\n", arguments[1]);
    std::fclose(out);
    ::LocalFree(arguments);
    return 0;
}
