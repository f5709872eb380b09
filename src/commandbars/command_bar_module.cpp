#include "commandbars/command_bar_module.h"

#include <new>
#include <stdexcept>

namespace flinter {

void report_current_failure(command_bar_module& module) noexcept {
    try {
        throw;
    } catch (const std::exception& failure) {
        module.report_error(failure);
    } catch (...) {
        try {
            module.report_error(std::runtime_error("unknown failure"));
        } catch (...) {
            // Out of memory for the message: nothing more can be said.
        }
    }
}

}  // namespace flinter
