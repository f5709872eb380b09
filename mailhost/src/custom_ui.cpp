#include "custom_ui.h"

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <set>

#include "com/hresult_error.h"
#include "com/late_bound.h"

namespace mailhost {
namespace {

using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using Microsoft::WRL::ComPtr;

// Office 2010 reads both; the 2006 namespace is Office 2007's.
const wchar_t kCustomUi2009[] = L"http://schemas.microsoft.com/office/2009/07/customui";
const wchar_t kCustomUi2006[] = L"http://schemas.microsoft.com/office/2006/01/customui";
constexpr long kElementNode = 1;

// The newest DOM the system has; Wine provides both.
ComPtr<IDispatch> new_document() {
    HRESULT last = REGDB_E_CLASSNOTREG;
    for (const wchar_t* prog_id : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
        CLSID clsid{};
        if (FAILED(last = ::CLSIDFromProgID(prog_id, &clsid))) continue;
        ComPtr<IDispatch> document;
        last = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document));
        if (SUCCEEDED(last)) return document;
    }
    throw flinter::hresult_error(last, "the system's XML parser (MSXML) is not available");
}

// A text property that may be null (a node without a namespace).
std::wstring text_or_empty(IDispatch* node, const wchar_t* name) {
    const variant value = get(node, name);
    return value.type() == VT_BSTR ? value.as_wstring() : std::wstring();
}

xml_element element_of(IDispatch* node) {
    xml_element element;
    element.name = text_or_empty(node, L"baseName");
    element.name_space = text_or_empty(node, L"namespaceURI");
    // Walked with nextNode and nextSibling: Wine's item(i) fails when called by name.
    const auto attributes = get_object(node, L"attributes");
    for (auto attribute = flinter::object_or_null(flinter::call(attributes.Get(), L"nextNode")); attribute;
         attribute = flinter::object_or_null(flinter::call(attributes.Get(), L"nextNode"))) {
        const std::wstring name = text_or_empty(attribute.Get(), L"nodeName");
        if (name == L"xmlns" || name.starts_with(L"xmlns:")) continue;   // declarations, not attributes
        element.attributes.emplace_back(name, text_or_empty(attribute.Get(), L"nodeValue"));
    }
    for (auto child = flinter::object_or_null(get(node, L"firstChild")); child;
         child = flinter::object_or_null(get(child.Get(), L"nextSibling"))) {
        if (get(child.Get(), L"nodeType").as_int() == kElementNode) element.children.push_back(element_of(child.Get()));
    }
    return element;
}

void refuse(const std::wstring& reason) { throw custom_ui_error(reason); }

bool is_callback(const std::wstring& attribute) {
    return (attribute.starts_with(L"on") && attribute.size() > 2 && iswupper(attribute[2])) ||
           (attribute.starts_with(L"get") && attribute.size() > 3 && iswupper(attribute[3]));
}

// Every element in the namespace, ids unique, callbacks answered, idMso known.
void check_element(const xml_element& element, std::set<std::wstring>& ids,
                   const std::function<bool(const std::wstring&)>& answers) {
    if (element.name_space != kCustomUi2009 && element.name_space != kCustomUi2006)
        refuse(L"The element '" + element.name + L"' is not in the custom UI namespace (" + kCustomUi2009 + L").");
    for (const auto& [name, value] : element.attributes) {
        if (name == L"id" && !ids.insert(value).second) refuse(L"The id '" + value + L"' is used more than once.");
        if (name == L"idMso" && element.name == L"tab" && !known_outlook_tab(value))
            refuse(L"Unknown Office control ID: " + value);
        if (is_callback(name) && !answers(value))
            refuse(L"The callback function '" + value + L"' (" + name + L") was not found.");
    }
    for (const auto& child : element.children) check_element(child, ids, answers);
}

const xml_element* child_named(const xml_element& parent, const wchar_t* name) {
    for (const auto& child : parent.children)
        if (child.name == name) return &child;
    return nullptr;
}

ribbon_button button_of(const xml_element& element) {
    return {element.attribute(L"id"),        element.attribute(L"label"),    element.attribute(L"tag"),
            element.attribute(L"screentip"), element.attribute(L"supertip"), element.attribute(L"size"),
            element.attribute(L"onAction"),  element.attribute(L"getImage")};
}

}  // namespace

custom_ui_error::custom_ui_error(const std::wstring& reason)
    : std::runtime_error("custom UI error"), reason_(reason) {}

std::wstring xml_element::attribute(const std::wstring& attribute_name) const {
    for (const auto& [name, value] : attributes)
        if (name == attribute_name) return value;
    return {};
}

bool xml_element::has(const std::wstring& attribute_name) const {
    return std::any_of(attributes.begin(), attributes.end(), [&](const auto& a) { return a.first == attribute_name; });
}

xml_element parse_xml(const std::wstring& text) {
    const auto document = new_document();
    put(document.Get(), L"async", variant(false));
    put(document.Get(), L"validateOnParse", variant(false));
    put(document.Get(), L"resolveExternals", variant(false));
    if (!flinter::call(document.Get(), L"loadXML", {variant(text)}).as_bool()) {
        const auto error = get_object(document.Get(), L"parseError");
        std::wstring reason = text_or_empty(error.Get(), L"reason");
        while (!reason.empty() && iswspace(reason.back())) reason.pop_back();
        refuse(L"The markup is not well-formed (line " + std::to_wstring(get(error.Get(), L"line").as_int()) + L"): " +
               reason);
    }
    const auto root = flinter::object_or_null(get(document.Get(), L"documentElement"));
    if (!root) refuse(L"The markup has no root element.");
    return element_of(root.Get());
}

custom_ui read_custom_ui(const std::wstring& markup, const std::function<bool(const std::wstring&)>& answers) {
    const xml_element root = parse_xml(markup);
    if (root.name != L"customUI") refuse(L"The root element is '" + root.name + L"', not 'customUI'.");
    std::set<std::wstring> ids;
    check_element(root, ids, answers);
    custom_ui result;
    result.on_load = root.attribute(L"onLoad");
    const xml_element* ribbon = child_named(root, L"ribbon");
    const xml_element* tabs = ribbon ? child_named(*ribbon, L"tabs") : nullptr;
    if (!tabs) return result;
    for (const auto& tab : tabs->children) {
        if (tab.name != L"tab") continue;
        const std::wstring tab_id = tab.has(L"idMso") ? tab.attribute(L"idMso") : tab.attribute(L"id");
        for (const auto& group : tab.children) {
            if (group.name != L"group") continue;
            ribbon_group shown{group.attribute(L"id"), group.attribute(L"label"), tab_id, {}};
            for (const auto& control : group.children)
                if (control.name == L"button") shown.buttons.push_back(button_of(control));
            result.groups.push_back(std::move(shown));
        }
    }
    return result;
}

bool known_outlook_tab(const std::wstring& id_mso) {
    static const wchar_t* const kTabs[] = {L"TabMail",     L"TabSendReceive", L"TabFolder",   L"TabView",
                                           L"TabDeveloper", L"TabAddIns",      L"TabCalendar", L"TabContacts",
                                           L"TabTasks",    L"TabNotes",       L"TabJournal",  L"TabHelp"};
    return std::any_of(std::begin(kTabs), std::end(kTabs), [&](const wchar_t* tab) { return id_mso == tab; });
}

}  // namespace mailhost
