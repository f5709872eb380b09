#pragma once

namespace flinter {

// Sets a busy flag for its lifetime and clears it at the end, also when the
// work inside throws: a click that arrives while its handler still runs (the
// handler pumps messages) sees the flag and is dropped.
class busy_while {
public:
    explicit busy_while(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~busy_while() { flag_ = false; }
    busy_while(const busy_while&) = delete;
    busy_while& operator=(const busy_while&) = delete;

private:
    bool& flag_;
};

}  // namespace flinter
