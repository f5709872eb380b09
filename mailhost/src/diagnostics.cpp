#include "diagnostics.h"

#include <map>
#include <set>
#include <vector>

namespace mailhost {
namespace {

struct fault {
    HRESULT hr;
    int remaining;
};

// Never destroyed: objects a client still holds may be freed during static destruction.
std::set<audited*>& live_objects() {
    static auto* objects = new std::set<audited*>;
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

unsigned next_serial() {
    static unsigned serial = 0;
    return ++serial;
}

}  // namespace

audited::audited(std::wstring kind) : kind_(std::move(kind)), serial_(next_serial()) {
    live_objects().insert(this);
}

audited::~audited() { live_objects().erase(this); }

void log_call(const std::wstring& entry) { entries().push_back(entry); }

std::wstring call_log() {
    std::wstring text;
    for (const auto& e : entries()) text += e + L"\n";
    return text;
}

void clear_call_log() { entries().clear(); }

void inject_fault(const std::wstring& kind, const std::wstring& member, HRESULT hr, int times) {
    faults()[lower(kind + L"." + member)] = {hr, times};
}

void clear_faults() { faults().clear(); }

HRESULT take_fault(const std::wstring& kind, const std::wstring& member) {
    for (const auto& key : {lower(kind + L"." + member), lower(kind + L".*")}) {
        auto found = faults().find(key);
        if (found == faults().end() || found->second.remaining <= 0) continue;
        --found->second.remaining;
        return found->second.hr;
    }
    return S_OK;
}

std::wstring outstanding_references() {
    std::wstring text;
    for (const audited* object : live_objects()) {
        if (object->references() == 0) continue;
        text += object->kind() + L"#" + std::to_wstring(object->serial()) + L" " +
                std::to_wstring(object->references()) + L"\n";
    }
    return text;
}

long outstanding_reference_count() {
    long total = 0;
    for (const audited* object : live_objects()) total += static_cast<long>(object->references());
    return total;
}

long live_object_count() { return static_cast<long>(live_objects().size()); }

}  // namespace mailhost
