#include "addin/component_readers.h"

#include "addin/com_addin_module.h"
#include "commandbars/command_bar.h"

namespace flinter {

void component_readers::add(std::string class_name, component_reader reader) {
    readers_[std::move(class_name)] = std::move(reader);
}

const component_reader* component_readers::find(std::string_view class_name) const {
    const auto found = readers_.find(class_name);
    return found == readers_.end() ? nullptr : &found->second;
}

const component_readers& standard_component_readers() {
    static const component_readers readers = [] {
        component_readers list;
        const component_reader command_bar = [](TafwCOMAddInModule& owner, const definition::object& stored,
                                                const handler_table& handlers) -> std::unique_ptr<component> {
            return read_command_bar(stored, owner, handlers);
        };
        list.add("TafwCommandBar", command_bar);
        list.add("TafwOlExplorerCommandbar", command_bar);
        return list;
    }();
    return readers;
}

}  // namespace flinter
