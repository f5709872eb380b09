// What a test can see of the simulated host from outside: a log of the calls
// it received, injected failures, and the references each live object has
// handed out. Host thread only; never throws except std::bad_alloc.
#pragma once

#include <windows.h>

#include <string>

namespace mailhost {

// Base of every COM object the host hands out; registers itself for the audit.
class audited {
public:
    explicit audited(std::wstring kind);
    virtual ~audited();
    audited(const audited&) = delete;
    audited& operator=(const audited&) = delete;

    const std::wstring& kind() const noexcept { return kind_; }
    unsigned serial() const noexcept { return serial_; }
    // COM references handed out and not yet released.
    virtual ULONG references() const noexcept = 0;

private:
    std::wstring kind_;
    unsigned serial_;
};

void log_call(const std::wstring& entry);
std::wstring call_log();
void clear_call_log();

// Arms kind.member (member "*" = every member) to fail with hr for the next times calls.
void inject_fault(const std::wstring& kind, const std::wstring& member, HRESULT hr, int times);
void clear_faults();
// The armed failure for this call, consuming one; S_OK when none is armed.
HRESULT take_fault(const std::wstring& kind, const std::wstring& member);

// One line "Kind#serial refs" per live object holding references.
std::wstring outstanding_references();
long outstanding_reference_count();
long live_object_count();

}  // namespace mailhost
