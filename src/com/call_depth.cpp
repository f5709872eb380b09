#include "com/call_depth.h"

namespace flinter {

call_depth::entry::entry(call_depth* depth) noexcept : depth_(depth) {
    if (!depth_) return;
    owner_ = depth_->owner_;
    ++depth_->depth_;
}

call_depth::entry::~entry() {
    if (depth_ && --depth_->depth_ == 0) depth_->on_idle_();
}

}  // namespace flinter
