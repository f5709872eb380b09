#include "diagnostics.h"

#include <climits>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace mailhost {
namespace {

struct fault {
    HRESULT hr;
    int skip;        // calls let through before the first failure
    int remaining;
};

// The members consulted for a fault, in order of their first call, with counts.
struct member_census {
    bool recording = false;
    std::vector<std::pair<std::wstring, long>> members;
    std::map<std::wstring, std::size_t> position;
};

member_census& census() {
    static member_census recorded;
    return recorded;
}

void count_member(const std::wstring& key) {
    auto& c = census();
    if (!c.recording) return;
    const auto [at, added] = c.position.try_emplace(key, c.members.size());
    if (added) c.members.emplace_back(key, 0);
    ++c.members[at->second].second;
}

long& fault_hits() {
    static long hits = 0;
    return hits;
}

// Never destroyed: objects a client still holds may be freed during static destruction.
std::set<audited*>& live_objects() {
    static auto* objects = new std::set<audited*>;
    return *objects;
}

// Objects whose last reference went, until the next start. Never destroyed either.
std::vector<std::shared_ptr<audited>>& kept_objects() {
    static auto* objects = new std::vector<std::shared_ptr<audited>>;
    return *objects;
}

std::vector<std::wstring>& entries() {
    static std::vector<std::wstring> log;
    return log;
}

std::wstring lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(::towlower(c));
    return text;
}

std::map<std::wstring, fault>& faults() {
    static std::map<std::wstring, fault> armed;
    return armed;
}

bool& auditing() {
    static bool on = true;
    return on;
}

unsigned next_serial() {
    static unsigned serial = 0;
    return ++serial;
}

struct sinks_snapshot {
    std::wstring text;
    long count = 0;
    bool taken = false;
};

sinks_snapshot& sinks_at_quit() {
    static sinks_snapshot snapshot;
    return snapshot;
}

HRESULT consume(const std::wstring& key) {
    auto found = faults().find(key);
    if (found == faults().end() || found->second.remaining <= 0) return S_OK;
    if (found->second.skip > 0) {
        --found->second.skip;
        return S_OK;
    }
    --found->second.remaining;
    ++fault_hits();
    return found->second.hr;
}

}  // namespace

audited::audited(std::wstring kind) : kind_(std::move(kind)), serial_(next_serial()) {
    live_objects().insert(this);
}

audited::~audited() { live_objects().erase(this); }

std::wstring audited::name() const { return kind_ + L"#" + std::to_wstring(serial_); }

void audited::over_released() noexcept {
    try {
        ++over_releases_;
        log_call(L"over-release " + name());
    } catch (...) {
    }
}

void audited::keep_until_next_start(std::shared_ptr<audited> object) noexcept {
    if (!object || object->kept_ || !auditing()) return;
    try {
        kept_objects().push_back(object);
        object->kept_ = true;
    } catch (...) {
        // Out of memory: the object goes now, as it would without the audit.
    }
}

void log_call(const std::wstring& entry) {
    if (auditing()) entries().push_back(entry);
}

std::wstring call_log() {
    std::wstring text;
    for (const auto& e : entries()) text += e + L"\n";
    return text;
}

void clear_call_log() { entries().clear(); }

void inject_fault(const std::wstring& target, const std::wstring& member, HRESULT hr, int times, int skip) {
    faults()[lower(target + L"." + member)] = {hr, skip > 0 ? skip : 0, times};
}

void clear_faults() { faults().clear(); }

long injected_failures() { return fault_hits(); }

void record_members(bool on) {
    auto& c = census();
    if (on) c = {};
    c.recording = on;
}

std::wstring recorded_members() {
    std::wstring text;
    for (const auto& [member, calls] : census().members) text += member + L" " + std::to_wstring(calls) + L"\n";
    return text;
}

HRESULT take_fault(const audited& object, const std::wstring& member, bool any_member) {
    count_member(object.kind() + L"." + member);
    std::vector<std::wstring> targets{L"#" + std::to_wstring(object.serial())};
    if (const std::wstring tag = object.fault_tag(); !tag.empty()) targets.push_back(object.kind() + L"[" + tag + L"]");
    targets.push_back(object.kind());
    for (const auto& target : targets) {
        if (const HRESULT hr = consume(lower(target + L"." + member)); FAILED(hr)) return hr;
        if (any_member) {
            if (const HRESULT hr = consume(lower(target + L".*")); FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT take_fault(const std::wstring& kind, const std::wstring& member) {
    count_member(kind + L"." + member);
    return consume(lower(kind + L"." + member));
}

bool fault_armed(const std::wstring& kind, const std::wstring& member) {
    auto found = faults().find(lower(kind + L"." + member));
    return found != faults().end() && found->second.remaining > 0;
}

std::wstring outstanding_references() {
    std::wstring text;
    for (const audited* object : live_objects()) {
        if (object->references() > 0) text += object->name() + L" " + std::to_wstring(object->references()) + L"\n";
        if (object->over_releases() > 0)
            text += object->name() + L" over-released " + std::to_wstring(object->over_releases()) + L"\n";
    }
    return text;
}

long outstanding_reference_count() {
    std::uint64_t total = 0;
    for (const audited* object : live_objects()) total += std::uint64_t{object->references()} + object->over_releases();
    return total > static_cast<std::uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(total);
}

std::wstring advised_sinks_report() {
    if (sinks_at_quit().taken) return sinks_at_quit().text;
    std::wstring text;
    for (const audited* object : live_objects())
        if (const std::size_t sinks = object->advised_sinks(); sinks > 0)
            text += object->name() + L" " + std::to_wstring(sinks) + L"\n";
    return text;
}

long advised_sink_count() {
    if (sinks_at_quit().taken) return sinks_at_quit().count;
    long total = 0;
    for (const audited* object : live_objects()) total += static_cast<long>(object->advised_sinks());
    return total;
}

void drop_advised_sinks() {
    sinks_snapshot snapshot;
    snapshot.text = advised_sinks_report();
    snapshot.count = advised_sink_count();
    snapshot.taken = true;
    sinks_at_quit() = std::move(snapshot);
    // A sink's release may run its owner's code, which may release host objects.
    const std::vector<audited*> objects(live_objects().begin(), live_objects().end());
    for (audited* object : objects)
        if (live_objects().count(object)) object->drop_sinks();
}

void release_dead_objects() {
    std::vector<std::shared_ptr<audited>> kept;
    kept.swap(kept_objects());
    for (auto& object : kept) object->kept_ = false;
    kept.clear();   // the ones nobody else holds end here
    for (audited* object : live_objects()) object->over_releases_ = 0;
}

void start_session(bool keep_faults, bool audit) {
    auditing() = audit;
    release_dead_objects();
    if (!keep_faults) clear_faults();
    fault_hits() = 0;
    clear_call_log();
    sinks_at_quit() = {};
}

}  // namespace mailhost
