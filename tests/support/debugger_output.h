// What the code under test writes to the debugger output while one of these
// lives: OutputDebugString raises DBG_PRINTEXCEPTION_C, which a vectored
// handler sees first. Header-only; the test's thread; one at a time.
#pragma once

#include <windows.h>

#include <string>

namespace flinter::testing_support {

class debugger_output {
public:
    debugger_output() : handler_(::AddVectoredExceptionHandler(1, &seen)) { text() = {}; }
    ~debugger_output() { ::RemoveVectoredExceptionHandler(handler_); }
    debugger_output(const debugger_output&) = delete;
    debugger_output& operator=(const debugger_output&) = delete;

    // Everything written so far, line after line.
    const std::string& written() const { return text(); }

private:
    static std::string& text() {
        static std::string all;
        return all;
    }
    static LONG CALLBACK seen(EXCEPTION_POINTERS* exception) {
        const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
            text() += reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    void* handler_;
};

}  // namespace flinter::testing_support
