#include "hosted_bars.h"

#include <fstream>
#include <iterator>

#include "addin/definition_resource.h"
#include "com/module.h"
#include "com/registry.h"
#include "commandbars/bar_records.h"
#include "commandbars_test_config.h"
#include "core/bytes/little_endian.h"

namespace flinter::testing_support {

using Microsoft::WRL::ComPtr;

definition::object stored_addin_toolbar() {
    const definition::object module = read_definition_resource(this_module(), L"ADDIN_MODULE");
    for (const definition::object& child : module.children)
        if (child.name == "afwOlExplorerCommandbar1") return child;
    throw std::runtime_error("the module's definition has no afwOlExplorerCommandbar1");
}

std::wstring test_module::addin_key() const {
    // One key per flavour: the x86 and x64 tests share HKEY_CURRENT_USER\Software.
    return std::wstring(L"Software\\Microsoft\\Office\\Outlook\\AddIns\\QAV_Flinter.CommandBarTests.") + kFlavour;
}

void test_module::report_error() noexcept {
    try {
        throw;
    } catch (const std::exception& failure) {
        errors.push_back(failure.what());
    } catch (...) {
        errors.push_back("unknown failure");
    }
}

handler_table recording_handlers(test_module& module) {
    handler_table handlers;
    for (char button = '0'; button <= '3'; ++button) {
        const std::string name = std::string("afwOlExplorerCommandbar1Controls") + button + "Click";
        handlers.add(name, [&module, name](component& sender) { module.clicks.push_back(name + " by " + sender.name()); });
    }
    return handlers;
}

std::vector<std::uint8_t> resource_file(const std::string& name) {
    std::ifstream file(std::string(kResourcesFolder) + "/" + name, std::ios::binary);
    if (!file) throw std::runtime_error("no resource " + name);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<DWORD> pixels_of_bitmap_file(const std::vector<std::uint8_t>& file) {
    auto le32 = [&file](std::size_t at) { return static_cast<DWORD>(little_endian::read32(file, at)); };
    const int width = static_cast<int>(le32(18)), height = static_cast<int>(le32(22));
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<DWORD> pixels;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = file.data() + le32(10) + y * stride + x * 3;
            pixels.push_back(static_cast<DWORD>(p[2] << 16 | p[1] << 8 | p[0]));
        }
    }
    return pixels;
}

definition::object stored(const std::string& text) {
    return definition::read_definition(text, [](std::string_view name) -> std::optional<std::vector<std::uint8_t>> {
        try {
            return resource_file(std::string(name));
        } catch (const std::runtime_error&) {
            return std::nullopt;
        }
    });
}

void HostedBars::SetUp() {
    simulated_outlook_test::SetUp();
    delete_key_tree(HKEY_CURRENT_USER, module_.addin_key());
}

void HostedBars::TearDown() {
    bars_.clear();
    module_.set_command_bars(nullptr);
    delete_key_tree(HKEY_CURRENT_USER, module_.addin_key());
    simulated_outlook_test::TearDown();
}

void HostedBars::start_outlook(bool picture_support) {
    module_.set_command_bars(nullptr);
    module_.application = start({.explorers = 1, .picture_support = picture_support});
}

TafwCommandBar& HostedBars::declare(const std::string& definition_text) { return declare(stored(definition_text)); }

TafwCommandBar& HostedBars::declare(const definition::object& stored_bar) {
    bars_.push_back(read_command_bar(stored_bar, module_, recording_handlers(module_)));
    return *bars_.back();
}

ComPtr<IDispatch> HostedBars::host_bars() const {
    const auto explorer = get_object(get_object(application(), L"Explorers").Get(), L"Item", {variant(1)});
    return get_object(explorer.Get(), L"CommandBars");
}

std::vector<ComPtr<IDispatch>> HostedBars::host_bars_named(const std::wstring& name) const {
    const auto collection = host_bars();
    std::vector<ComPtr<IDispatch>> found;
    for (int i = 1, n = get(collection.Get(), L"Count").as_int(); i <= n; ++i) {
        auto bar = get_object(collection.Get(), L"Item", {variant(i)});
        if (get(bar.Get(), L"Name").as_wstring() == name) found.push_back(bar);
    }
    return found;
}

ComPtr<IDispatch> HostedBars::host_bar(const std::wstring& name) const {
    auto found = host_bars_named(name);
    return found.size() == 1 ? found[0] : nullptr;
}

std::vector<std::wstring> HostedBars::host_tags(const std::wstring& bar_name) const {
    std::vector<std::wstring> tags;
    const auto bar = host_bar(bar_name);
    if (!bar) return tags;
    const auto controls = get_object(bar.Get(), L"Controls");
    for (int i = 1, n = get(controls.Get(), L"Count").as_int(); i <= n; ++i)
        tags.push_back(get(get_object(controls.Get(), L"Item", {variant(i)}).Get(), L"Tag").as_wstring());
    return tags;
}

button_face HostedBars::face(const std::wstring& tag) {
    button_face result;
    int width = 0, height = 0;
    if (FAILED(mailhost_button_face(1, tag.c_str(), FALSE, &result.source, &width, &height, nullptr, 0)))
        return result;
    result.pixels.resize(static_cast<std::size_t>(width) * height);
    result.mask.resize(result.pixels.size());
    const int capacity = static_cast<int>(result.pixels.size());
    mailhost_button_face(1, tag.c_str(), FALSE, &result.source, &width, &height, result.pixels.data(), capacity);
    mailhost_button_face(1, tag.c_str(), TRUE, &result.source, &width, &height, result.mask.data(), capacity);
    return result;
}

std::vector<std::wstring> HostedBars::writes() {
    const std::wstring log = mailhost::simulated_outlook::call_log();
    std::vector<std::wstring> found;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find(L'\n', start);
        if (end == std::wstring::npos) end = log.size();
        std::wstring line = log.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        auto ends_with = [&line](const std::wstring& tail) {
            return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (ends_with(L"=") || ends_with(L".Add") || ends_with(L".Delete") || ends_with(L".Move") ||
            ends_with(L".PasteFace"))
            found.push_back(line);
        start = end + 1;
    }
    return found;
}

std::optional<DWORD> HostedBars::record(const wchar_t* section, const std::wstring& name) const {
    return records::read(module_, section, name);
}

bool HostedBars::records_exist(const wchar_t* section) const {
    return key_exists(HKEY_CURRENT_USER, module_.addin_key() + L"\\" + section);
}

}  // namespace flinter::testing_support
