#include "commandbars/refusal.h"

namespace flinter {

void raise_empty_property(const std::string& property) {
    throw framework_refusal(kEmptyPropertyRefused, "The " + property + " property can not be empty.");
}

void raise_bar_name_character(const std::string& bar_name) {
    throw framework_refusal(kBarNameCharacterRefused, "Illegal character in the " + bar_name + " commandbar name.");
}

void raise_map_point() { throw framework_refusal(kMapPointRefused, "Can not add a control to MS MapPoint."); }

void raise_container(const std::string& component_class, const std::string& owner_class) {
    throw framework_refusal(kContainerRefused, "The " + component_class + " class can not be contained in the " +
                                                   (owner_class.empty() ? std::string("nil") : owner_class) +
                                                   " class.");
}

void raise_advanced_bar_position() {
    throw framework_refusal(kAdvancedBarPositionRefused,
                            "The command bar containing a TafwCommandBarAdvancedControl cannot\r\n"
                            "be afwMsoBarPopup and afwMsoBarMenuBar.");
}

void raise_advanced_bar_protection() {
    throw framework_refusal(kAdvancedBarProtectionRefused,
                            "The command bar containing a TafwCommandBarAdvancedControl should\r\n"
                            "have the afwMsoBarNoChangeDock protection type.");
}

void raise_advanced_in_popup() {
    throw framework_refusal(kAdvancedInPopupRefused,
                            "The TafwCommandBarAdvancedControl cannot be placed into the TafwCommandBarPopup control.");
}

void raise_advanced_in_built_in_bar() {
    throw framework_refusal(kAdvancedInBuiltInBarRefused,
                            "The TafwCommandBarAdvancedControl cannot be placed into the built-in commandbar.");
}

}  // namespace flinter
