// The readers that turn a child component's stored definition into a
// component of the module, by class name: the command bars the framework
// knows. Host UI thread; a reader throws definition::definition_error naming
// the definition's line, and framework_refusal for what a bar refuses.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/definition/stored_definition.h"
#include "framework/component.h"

namespace flinter {

class TafwCOMAddInModule;

// Makes the child component a definition describes, for the module that owns
// it; handlers its properties name are bound through the module's table.
using component_reader = std::function<std::unique_ptr<component>(
    TafwCOMAddInModule& owner, const definition::object& stored, const handler_table& handlers)>;

class component_readers {
public:
    void add(std::string class_name, component_reader reader);
    // The reader of that class, or null.
    const component_reader* find(std::string_view class_name) const;

private:
    std::map<std::string, component_reader, std::less<>> readers_;
};

// The readers of every component class the framework knows.
const component_readers& standard_component_readers();

}  // namespace flinter
