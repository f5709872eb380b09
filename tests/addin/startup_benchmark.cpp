// Prints figures, asserts nothing about speed: the add-in's start-up as
// Outlook times it, from CreateInstance to the end of OnStartupComplete,
// with the library loaded afresh for every load, against the simulated
// Outlook. Outlook disables add-ins whose start-up takes more than 1000 ms.
// Registers the add-in in this flavour's view and removes it again.
#include <windows.h>
#include <wrl/client.h>
#include <addin.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "addin_test_support.h"
#include "com/unique_res.h"
#include "mailhost/simulated_outlook.h"

namespace {

using namespace addin_testing;
using Microsoft::WRL::ComPtr;

constexpr int kLoads = 25;
// Outlook flags an add-in whose start-up takes longer as slow.
constexpr double kOutlookLimitMs = 1000;

double now_ms() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One load: milliseconds from CreateInstance to the end of OnStartupComplete;
// negative when the add-in failed.
double timed_load(IDispatch* application) {
    flinter::unique_safearray custom(::SafeArrayCreateVector(VT_VARIANT, 0, 0));
    SAFEARRAY* array = custom.get();
    const double start = now_ms();
    ComPtr<IDTExtensibility2> addin;
    if (FAILED(::CoCreateInstance(kKorv, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&addin))) ||
        FAILED(addin->OnConnection(application, ext_cm_Startup, nullptr, &array)) ||
        FAILED(addin->OnStartupComplete(&array)))
        return -1;
    const double elapsed = now_ms() - start;
    addin->OnBeginShutdown(&array);
    addin->OnDisconnection(ext_dm_HostShutdown, &array);
    addin.Reset();
    ::CoFreeUnusedLibrariesEx(0, 0);   // the next load loads the library again
    return elapsed;
}

int run() {
    if (FAILED(mailhost_register()) || regsvr32(beside_this_test(L"QAV_Flinter.dll")) != 0) {
        std::fprintf(stderr, "startup_benchmark: the add-in could not be registered\n");
        return 1;
    }
    record_recent_update_check();
    std::vector<double> times;
    {
        mailhost::simulated_outlook outlook({.explorers = 1});
        for (int i = 0; i < kLoads; ++i) {
            const double ms = timed_load(outlook.application());
            if (ms < 0) {
                std::fprintf(stderr, "startup_benchmark: load %d failed\n", i + 1);
                return 1;
            }
            times.push_back(ms);
        }
    }
    remove_registration();
    mailhost_unregister();
    const double first = times.front();
    std::sort(times.begin(), times.end());
#ifdef _WIN64
    const char* flavour = "x64";
#else
    const char* flavour = "x86";
#endif
    std::printf("### %s\n\n", flavour);
    std::printf("| %s, CreateInstance to the end of OnStartupComplete, %d loads | ms | of Outlook's %.0f ms |\n"
                "|---|---:|---:|\n", flavour, kLoads, kOutlookLimitMs);
    const auto row = [](const char* what, double ms) {
        std::printf("| %s | %.2f | %.1f %% |\n", what, ms, 100 * ms / kOutlookLimitMs);
    };
    row("median", times[times.size() / 2]);
    row("fastest", times.front());
    row("slowest", times.back());
    row("first load", first);
    std::printf("\n");
    return 0;
}

}  // namespace

int main() {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    const int status = run();
    ::CoUninitialize();
    return status;
}
