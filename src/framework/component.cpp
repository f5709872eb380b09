#include "framework/component.h"

namespace flinter {

void handler_table::add(std::string name, notify_event handler) { handlers_[std::move(name)] = std::move(handler); }

const notify_event& handler_table::find(std::string_view name, int line) const {
    const auto found = handlers_.find(name);
    if (found == handlers_.end()) throw definition::definition_error(line, "unknown handler " + std::string(name));
    return found->second;
}

bool handler_table::contains(std::string_view name) const { return handlers_.find(name) != handlers_.end(); }

}  // namespace flinter
