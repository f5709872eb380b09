#include "hosted_bars.h"

#include <fstream>
#include <iterator>

#include "com/registry.h"
#include "commandbars/bar_records.h"
#include "commandbars_test_config.h"

namespace flinter::testing_support {

using Microsoft::WRL::ComPtr;

// The add-in's toolbar as the module's definition stores it.
const char kAddInToolbar[] = R"(
object afwOlExplorerCommandbar1: TafwOlExplorerCommandbar
  CommandBarName = "QAV_Flinter"
  ButtonTypes = {04000000 00000000 00000000 00000000 00000000}
  Buttons = <
    item 0
      Caption = "Spam"
      TooltipText = "Report Spam"
      OfficeTag = "{DE50E6B0-F7A3-4766-B347-9738F276A5DB}"
      olExplorerItemTypes = [afwOLMailItem]
      olInspectorItemTypes = [afwOLMail]
      Temporary = true
      Style = afwMsoButtonIconAndCaption
      Glyph.Data = file("spam.bmp")
      GlyphTransparentColor = clBlack
      OnClick = afwOlExplorerCommandbar1Controls0Click
      PropertyChanged = 9
    end
    item 1
      Caption = "Settings"
      TooltipText = "Settings"
      OfficeTag = "{6470BA4F-A064-4831-8683-3EE6B23DCD52}"
      olExplorerItemTypes = [afwOLMailItem]
      olInspectorItemTypes = [afwOLMail]
      Temporary = true
      Style = afwMsoButtonIconAndCaption
      Glyph.Data = file("settings.bmp")
      GlyphTransparentColor = clBlack
      OnClick = afwOlExplorerCommandbar1Controls1Click
      PropertyChanged = 10
    end
    item 2
      Caption = "Analyzer"
      TooltipText = "Header Analyzer"
      OfficeTag = "{9EF8F00C-4864-4380-89E3-8E624638A221}"
      olExplorerItemTypes = [afwOLMailItem]
      olInspectorItemTypes = [afwOLMail]
      Temporary = true
      Style = afwMsoButtonIconAndCaption
      Glyph.Data = file("analyzer.bmp")
      GlyphTransparentColor = clBlack
      OnClick = afwOlExplorerCommandbar1Controls2Click
      PropertyChanged = 14
    end
    item 3
      Caption = "Login"
      TooltipText = "Login to Postini"
      OfficeTag = "{F63228A1-172A-41AA-8F7F-D8D4DEE1E5EE}"
      olExplorerItemTypes = [afwOLMailItem]
      olInspectorItemTypes = [afwOLMail]
      Temporary = true
      Style = afwMsoButtonIconAndCaption
      Glyph.Data = file("login.bmp")
      GlyphTransparentColor = clBlack
      OnClick = afwOlExplorerCommandbar1Controls3Click
      PropertyChanged = 14
    end>
  PropertyChanged = 2
end
)";

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

handler_lookup recording_handlers(test_module& module) {
    return [&module](std::string_view method_name, int line) -> control_event {
        if (!method_name.starts_with("afwOlExplorerCommandbar1Controls"))
            throw definition::definition_error(line, "unknown handler " + std::string(method_name));
        return [&module, name = std::string(method_name)](TafwCommandBarControl&) { module.clicks.push_back(name); };
    };
}

std::vector<std::uint8_t> resource_file(const std::string& name) {
    std::ifstream file(std::string(kResourcesFolder) + "/" + name, std::ios::binary);
    if (!file) throw std::runtime_error("no resource " + name);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<DWORD> pixels_of_bitmap_file(const std::vector<std::uint8_t>& file) {
    auto le32 = [&file](std::size_t at) {
        return static_cast<DWORD>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
    };
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

TafwCommandBar& HostedBars::declare(const std::string& definition_text) {
    bars_.push_back(read_command_bar(stored(definition_text), module_, recording_handlers(module_)));
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
