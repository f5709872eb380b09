// The parts of the add-in module's tree: a named component (the module, its
// toolbars, the wrappers of host objects) that events name as their sender,
// and the table of the module's methods that a stored definition may name as
// handlers. Host UI thread; a lookup of an unknown name throws
// definition::definition_error naming the definition's line.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "core/definition/stored_definition.h"

namespace flinter {

class component {
public:
    component(std::string name, std::string class_name) : name_(std::move(name)), class_name_(std::move(class_name)) {}
    virtual ~component() = default;
    component(const component&) = delete;
    component& operator=(const component&) = delete;

    const std::string& name() const noexcept { return name_; }
    const std::string& class_name() const noexcept { return class_name_; }

private:
    std::string name_;
    std::string class_name_;
};

// An event of the module or of a component: a handler called with the sender;
// an empty one is skipped.
using notify_event = std::function<void(component& sender)>;

// The module's methods that a definition binds by name (OnAddInStartupComplete
// = afwCOMAddInModuleAddInStartupComplete, a button's OnClick = ...).
class handler_table {
public:
    void add(std::string name, notify_event handler);
    // The handler of that name; an unknown name is an error at the given line.
    const notify_event& find(std::string_view name, int line) const;
    bool contains(std::string_view name) const;

private:
    std::map<std::string, notify_event, std::less<>> handlers_;
};

}  // namespace flinter
