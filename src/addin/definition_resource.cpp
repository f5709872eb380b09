#include "addin/definition_resource.h"

#include <span>

#include "com/hresult_error.h"
#include "com/text_conversion.h"

namespace flinter {
namespace {

std::span<const std::uint8_t> rcdata(HMODULE module, const wchar_t* name) noexcept {
    HRSRC found = ::FindResourceW(module, name, MAKEINTRESOURCEW(10));   // RT_RCDATA
    if (!found) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const std::uint8_t*>(bytes), ::SizeofResource(module, found)};
}

}  // namespace

definition::object read_definition_resource(HMODULE module, const wchar_t* name) {
    const auto text = rcdata(module, name);
    if (text.empty()) throw hresult_error(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
                                          "the stored definition " + narrow(name) + " is missing");
    const auto load_file = [module](std::string_view file) -> std::optional<std::vector<std::uint8_t>> {
        const auto bytes = rcdata(module, widen(std::string(file)).c_str());
        if (bytes.empty()) return std::nullopt;
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    };
    return definition::read_definition({reinterpret_cast<const char*>(text.data()), text.size()}, load_file);
}

}  // namespace flinter
