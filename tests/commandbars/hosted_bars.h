// The command-bar tests' world: a module double that records what the engine
// reports and binds, the simulated Outlook's command bars, and helpers that
// read the host and the call log. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com/late_bound.h"
#include "commandbars/command_bar.h"
#include "commandbars/command_bar_button.h"
#include "commandbars/command_bar_engine.h"
#include "mailhost/simulated_outlook.h"
#include "simulated_outlook_test.h"

namespace flinter::testing_support {

// What the add-in module would be to its bars, with everything observable.
class test_module : public command_bar_module {
public:
    TafwOfficeHostApp host = ohaOutlook;
    bool first = false;                 // a normal start
    IDispatch* application = nullptr;
    std::vector<std::string> errors;    // the module error report's messages
    std::vector<std::string> clicks;    // handler name per call
    int event_bindings = 0;

    TafwOfficeHostApp HostKind() const noexcept override { return host; }
    TafwHostAppSet SupportedApps() const noexcept override { return {ohaOutlook}; }
    std::wstring prog_id() const override { return L"Korvex.korv"; }
    std::wstring addin_key() const override;
    bool first_start() const noexcept override { return first; }
    IDispatch* HostApplication() const noexcept override { return application; }
    void report_error() noexcept override;
    void bind_events(TafwCommandBarControl&) override { ++event_bindings; }
};

// The add-in's toolbar as the module's stored definition (resource ADDIN_MODULE) declares it.
definition::object stored_addin_toolbar();

// The click handlers the add-in's toolbar names, recording "handler by sender" in module.clicks.
handler_table recording_handlers(test_module& module);

// The bytes of a file in the resources folder.
std::vector<std::uint8_t> resource_file(const std::string& name);
// The pixels (0x00RRGGBB, top row first) of a 24-bit bottom-up bitmap file.
std::vector<DWORD> pixels_of_bitmap_file(const std::vector<std::uint8_t>& file);
// Reads a stored definition whose file("...") values name resource files.
definition::object stored(const std::string& text);

struct button_face {
    int source = 0;   // 0 none, 1 FaceId, 2 Picture, 3 PasteFace
    std::vector<DWORD> pixels, mask;
};

class HostedBars : public simulated_outlook_test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulated Outlook with one explorer; the module follows it.
    void start_outlook(bool picture_support = true);
    // A bar read from its stored definition and owned by the fixture.
    TafwCommandBar& declare(const std::string& definition_text);
    TafwCommandBar& declare(const definition::object& stored_bar);

    Microsoft::WRL::ComPtr<IDispatch> host_bars() const;
    // The host bars with this name (exact).
    std::vector<Microsoft::WRL::ComPtr<IDispatch>> host_bars_named(const std::wstring& name) const;
    Microsoft::WRL::ComPtr<IDispatch> host_bar(const std::wstring& name) const;
    // The tags of the host bar's controls, in order.
    std::vector<std::wstring> host_tags(const std::wstring& bar_name) const;
    static button_face face(const std::wstring& tag);
    // The writes the host received since the last clear: puts, Add, Delete, Move, PasteFace.
    static std::vector<std::wstring> writes();
    static void clear_log() { mailhost_clear_call_log(); }

    // Records under the module's add-in key.
    std::optional<DWORD> record(const wchar_t* section, const std::wstring& name) const;
    bool records_exist(const wchar_t* section) const;

    test_module module_;
    std::vector<std::unique_ptr<TafwCommandBar>> bars_;
};

}  // namespace flinter::testing_support
