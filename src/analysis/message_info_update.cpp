#include "analysis/message_info_update.h"

#include <optional>
#include <string>

#include "analysis/header_retrieval.h"
#include "com/late_bound.h"
#include "settings/settings_store.h"

namespace flinter {
namespace {

// The header text of the first selected message; nullopt when nothing is
// selected or the host or the retrieval fails.
std::optional<std::string> first_selected_header(IDispatch* application, Tfheader& raw_header) noexcept try {
    const auto selection = get_object(get_object(application, L"ActiveExplorer").Get(), L"Selection");
    if (get(selection.Get(), L"Count").as_int() <= 0) return std::nullopt;
    // The explorer and its selection are asked for afresh for the item.
    const auto current = get_object(get_object(application, L"ActiveExplorer").Get(), L"Selection");
    const variant item = get(current.Get(), L"Item", {variant(1)});
    return GetMessageHeader(item.get(), &raw_header);
} catch (...) {
    return std::nullopt;
}

}  // namespace

void UpdateMessageInfo(IDispatch* application, Tfinfo& info, Tfheader& raw_header, const TSectionSwitches& sections,
                       std::int32_t background) {
    info.clear(background);
    const auto header = first_selected_header(application, raw_header);
    if (!header) return;
    info.render(EvaluateHeader(*header, sections, UserDecimalSeparator()).lines, background);
}

}  // namespace flinter
