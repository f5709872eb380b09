// An add-in's ribbon markup as Office reads it: parsed by the system's XML
// parser (MSXML, through COM and by name), then checked the way Office checks
// it before it takes an add-in's ribbon: the custom UI namespace, ids unique,
// built-in ids (idMso) it knows, and callbacks the add-in answers. What passes
// becomes the groups and buttons the host shows. Host thread (in an
// apartment); the reader throws custom_ui_error with the reason Office would
// give, and hresult_error when the parser itself cannot be had.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace mailhost {

class custom_ui_error : public std::runtime_error {
public:
    explicit custom_ui_error(const std::wstring& reason);
    const std::wstring& reason() const noexcept { return reason_; }

private:
    std::wstring reason_;
};

// An element as the parser gave it: its local name, namespace, attributes and
// child elements (text and comments dropped).
struct xml_element {
    std::wstring name, name_space;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::vector<xml_element> children;
    // The attribute's value; empty when it is not given.
    std::wstring attribute(const std::wstring& attribute_name) const;
    bool has(const std::wstring& attribute_name) const;
};

// Parses text with MSXML; custom_ui_error when it is not well-formed.
xml_element parse_xml(const std::wstring& text);

struct ribbon_button {
    std::wstring id, label, tag, screentip, supertip, size;
    std::wstring on_action, get_image;   // callback names; empty when not given
};

struct ribbon_group {
    std::wstring id, label;
    std::wstring tab;   // the tab's idMso, or its own id for an add-in's tab
    std::vector<ribbon_button> buttons;
};

struct custom_ui {
    std::wstring on_load;   // callback name; empty when not given
    std::vector<ribbon_group> groups;
};

// The markup read and checked; answers(name) says whether the add-in answers
// a callback of that name.
custom_ui read_custom_ui(const std::wstring& markup, const std::function<bool(const std::wstring&)>& answers);

// The built-in tabs of Outlook's explorer that markup may name by idMso.
bool known_outlook_tab(const std::wstring& id_mso);

}  // namespace mailhost
