#include "addin/component.h"

namespace flinter {
namespace {

bool names_handler(const definition::property& p) {
    return p.name.size() > 2 && p.name.starts_with("On") && std::holds_alternative<definition::name_value>(p.v.data);
}

// Every handler named anywhere in a stored property list, item lists included.
void check_handler_names(const definition::property_list& properties, const handler_table& handlers) {
    for (const auto& p : properties) {
        if (names_handler(p)) handlers.find(p.v.as_name(), p.v.line);
        if (const auto* items = std::get_if<definition::items_value>(&p.v.data))
            for (const auto& item : items->items) check_handler_names(item, handlers);
    }
}

void check_handler_names(const definition::object& stored, const handler_table& handlers) {
    check_handler_names(stored.properties, handlers);
    for (const auto& child : stored.children) check_handler_names(child, handlers);
}

}  // namespace

void handler_table::add(std::string name, notify_event handler) { handlers_[std::move(name)] = std::move(handler); }

const notify_event& handler_table::find(std::string_view name, int line) const {
    const auto found = handlers_.find(name);
    if (found == handlers_.end()) throw definition::definition_error(line, "unknown handler " + std::string(name));
    return found->second;
}

bool handler_table::contains(std::string_view name) const { return handlers_.find(name) != handlers_.end(); }

void component_readers::add(std::string class_name, component_reader reader) {
    readers_[std::move(class_name)] = std::move(reader);
}

const component_reader* component_readers::find(std::string_view class_name) const {
    const auto found = readers_.find(class_name);
    return found == readers_.end() ? nullptr : &found->second;
}

definition_only_component::definition_only_component(definition::object stored, const handler_table& handlers)
    : component(stored.name, stored.class_name), stored_(std::move(stored)) {
    check_handler_names(stored_, handlers);
}

const component_readers& standard_component_readers() {
    static const component_readers readers = [] {
        component_readers list;
        // The explorer toolbar keeps its definition until the command-bar model reads it.
        list.add("TafwOlExplorerCommandbar",
                 [](TafwCOMAddInModule&, const definition::object& stored, const handler_table& handlers) {
                     return std::make_unique<definition_only_component>(stored, handlers);
                 });
        return list;
    }();
    return readers;
}

}  // namespace flinter
