// The error type used inside the add-in, and the one guard that turns any
// exception into an HRESULT at a COM or system boundary. Thread-agnostic.
#pragma once

#include <windows.h>
#include <cguid.h>
#include <source_location>
#include <stdexcept>
#include <string>

namespace flinter {

// A failure with its HRESULT. what() is the message the user may be shown
// (the system's text for the code when no message is given); the code and
// the place where it was raised go to the debugger output when it is made.
class hresult_error : public std::runtime_error {
public:
    hresult_error(HRESULT code, std::string message,
                  std::source_location where = std::source_location::current());
    HRESULT code() const noexcept { return code_; }

private:
    HRESULT code_;
};

// Throws hresult_error when hr is a failure; returns hr otherwise.
HRESULT check(HRESULT hr, std::source_location where = std::source_location::current());
// Throws hresult_error carrying GetLastError() when ok is false.
void check_win32(BOOL ok, std::source_location where = std::source_location::current());

// Call only from inside a catch block: maps the exception being handled to an
// HRESULT and publishes its text as the thread's COM error information, naming
// iid and source (null: the product). A failure that carries a failure
// HRESULT keeps it, running out of memory is E_OUTOFMEMORY, an exception that
// is not a std::exception E_UNEXPECTED, and any other failure is fallback:
// each boundary gives the result its callers are promised.
HRESULT report_at_boundary(REFIID iid = IID_NULL, const wchar_t* source = nullptr,
                           HRESULT fallback = E_FAIL) noexcept;

// Call only from inside a catch block, at a boundary where nobody would read
// COM error information (window and thread procedures, event sinks): writes
// the exception's text to the debugger output, naming where it was caught.
void log_at_boundary(const char* where) noexcept;

}  // namespace flinter
