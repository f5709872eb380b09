// The COM base of every object the simulated Outlook hands out: the toolkit's
// IUnknown for an object that the host model owns through shared_ptr (make<T>).
// While COM references are outstanding the object holds itself, so that a
// client keeps it alive after the model let go; after the last Release it is
// kept, dead, until the next start, so that an over-release is reported
// instead of touching freed memory. Host thread only; never throws.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "com/com_object.h"
#include "diagnostics.h"

namespace mailhost {

template <class Derived, class... Interfaces>
class host_com : public flinter::com_object<Derived, Interfaces...>,
                 public audited,
                 public std::enable_shared_from_this<Derived> {
public:
    explicit host_com(std::wstring kind) : audited(std::move(kind)) {}

    ULONG references() const noexcept override { return this->reference_count(); }

    // Called by com_object when the count leaves or returns to 0.
    void hold(bool held) noexcept {
        if (held)
            pin_ = this->shared_from_this();
        else
            keep_until_next_start(std::move(pin_));
    }

private:
    std::shared_ptr<Derived> pin_;
};

// Builds a host object; the model keeps the shared_ptr, COM callers get references.
template <class T, class... Args>
std::shared_ptr<T> make(Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
}

}  // namespace mailhost
