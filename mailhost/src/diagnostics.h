// What a test can see of the simulated host from outside: a log of the calls
// it received, injected failures, the references each object has handed out,
// over-releases and the event sinks still advised. Host thread only; never
// throws except std::bad_alloc.
#pragma once

#include <windows.h>

#include <memory>
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
    // "Kind#serial", as the audit and fault targets name the object.
    std::wstring name() const;
    // COM references handed out and not yet released.
    virtual ULONG references() const noexcept = 0;
    // A command-bar control's Tag, by which a fault can target it; empty for others.
    virtual std::wstring fault_tag() const { return {}; }
    // Event sinks advised on this object, and their release when Outlook quits.
    virtual std::size_t advised_sinks() const noexcept { return 0; }
    virtual void drop_sinks() noexcept {}

    // A Release with no reference left: logged and counted, the count stays 0.
    void over_released() noexcept;
    unsigned over_releases() const noexcept { return over_releases_; }

protected:
    // An object whose last reference went stays in memory, dead, until the next
    // start, so that an over-release finds it instead of freed memory.
    static void keep_until_next_start(std::shared_ptr<audited> object) noexcept;

private:
    friend void release_dead_objects();
    std::wstring kind_;
    unsigned serial_;
    unsigned over_releases_ = 0;
    bool kept_ = false;
};

void log_call(const std::wstring& entry);
std::wstring call_log();
void clear_call_log();

// Arms target.member (member "*" = every object-model member) to fail with hr for
// times calls after the next skip calls. target: a kind ("Explorer"), an object
// ("#12") or a control by tag ("CommandBarButton[tag]").
void inject_fault(const std::wstring& target, const std::wstring& member, HRESULT hr, int times, int skip = 0);
void clear_faults();
// Failures delivered by armed faults since the session started.
long injected_failures();

// The census of the points where a fault can strike: every consultation of
// take_fault counts "Kind.Member" (member as take_fault names it). on: starts
// a new census; off: stops counting and keeps what was counted.
void record_members(bool on);
// One line "Kind.Member calls" per member, in order of first call.
std::wstring recorded_members();
// The armed failure for this call of an object-model member (any_member: "*"
// counts too) or COM-level entry point, consuming one; S_OK when none is armed.
HRESULT take_fault(const audited& object, const std::wstring& member, bool any_member = true);
HRESULT take_fault(const std::wstring& kind, const std::wstring& member);
// Whether a fault is armed, without consuming it.
bool fault_armed(const std::wstring& kind, const std::wstring& member);

// One line "Kind#serial refs" per object holding references, and "Kind#serial
// over-released n" per object released more often than referenced.
std::wstring outstanding_references();
// References outstanding plus over-releases, so that neither hides the other;
// never wraps (saturates at LONG_MAX).
long outstanding_reference_count();

// One line "Kind#serial sinks" per object with sinks advised; while Outlook
// runs the live state, after it quit the state when its add-ins had disconnected.
std::wstring advised_sinks_report();
long advised_sink_count();
// At quit, after the add-ins disconnected: remembers what is still advised and
// releases every sink, as a process that ends would.
void drop_advised_sinks();

// The start of a new session: faults (unless kept, to strike during the
// start), the count of failures, log and the previous session's remains go;
// without the audit, calls are not logged and released objects not kept.
void release_dead_objects();
void start_session(bool keep_faults = false, bool audit = true);

}  // namespace mailhost
