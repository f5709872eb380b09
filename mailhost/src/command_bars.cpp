#include "command_bars.h"

#include <olectl.h>

#include <algorithm>
#include <map>

#include "com/unique_res.h"
#include "drawing.h"
#include "ids.h"
#include "mailhost/mailhost.h"

namespace mailhost {
namespace {

using flinter::unique_hbitmap;

struct builtin_control {
    int type;
    const wchar_t* caption;
};

// The built-in controls this host knows, by Office control id.
const std::map<int, builtin_control>& catalogue() {
    static const std::map<int, builtin_control> controls{
        {4, {kButton, L"&Print..."}},          {354, {kButton, L"&Reply"}},
        {355, {kButton, L"Reply to A&ll"}},    {356, {kButton, L"For&ward"}},
        {478, {kButton, L"&Delete"}},          {522, {kButton, L"&Options..."}},
        {752, {kButton, L"E&xit"}},            {927, {kButton, L"&About Microsoft Office Outlook"}},
        {1679, {kButton, L"Mo&ve to Folder..."}}, {1849, {kButton, L"Fin&d"}},
        {2521, {kButton, L"&Address Book..."}}, {5488, {kButton, L"Send/Re&ceive"}},
        {30002, {kPopup, L"&File"}},           {30003, {kPopup, L"&Edit"}},
        {30004, {kPopup, L"&View"}},           {30007, {kPopup, L"&Tools"}},
        {30010, {kPopup, L"&Help"}},
    };
    return controls;
}

// Never destroyed: controls may outlive static destruction in a client's hands.
std::vector<control*>& all_controls() {
    static auto* controls = new std::vector<control*>;
    return *controls;
}

flinter::variant nothing() { return flinter::variant(static_cast<IDispatch*>(nullptr)); }

void check_type(int type) {
    if (type != kButton && type != kEdit && type != kDropdown && type != kComboBox && type != kPopup)
        fail(E_INVALIDARG, L"Invalid procedure call or argument");
}

std::vector<IID> control_interfaces(int type) {
    std::vector<IID> iids{ids::IID_CommandBarControl};
    if (type == kButton) iids.push_back(ids::IID_CommandBarButton);
    if (type == kEdit || type == kDropdown || type == kComboBox) iids.push_back(ids::IID_CommandBarComboBox);
    if (type == kPopup) iids.push_back(ids::IID_CommandBarPopup);
    return iids;
}

const wchar_t* control_kind(int type) {
    switch (type) {
    case kButton: return L"CommandBarButton";
    case kPopup: return L"CommandBarPopup";
    default: return L"CommandBarComboBox";
    }
}

// The pixels of a bitmap as 0x00RRGGBB, top-down.
void read_bitmap(HBITMAP bitmap, int& width, int& height, std::vector<DWORD>& pixels) {
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info)) fail(E_INVALIDARG, L"The picture is not a bitmap.");
    BITMAPINFO header = top_down_32_bits(info.bmWidth, info.bmHeight);
    std::vector<DWORD> read(static_cast<std::size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = ::GetDC(nullptr);
    const int lines = ::GetDIBits(screen, bitmap, 0, info.bmHeight, read.data(), &header, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (lines != info.bmHeight) fail(E_FAIL, L"The picture could not be read.");
    for (auto& p : read) p &= 0x00FFFFFF;
    width = info.bmWidth;
    height = info.bmHeight;
    pixels = std::move(read);
}

unique_hbitmap bitmap_from_pixels(int width, int height, const std::vector<DWORD>& pixels) {
    const BITMAPINFO header = top_down_32_bits(width, height);
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) fail(E_OUTOFMEMORY, L"Out of memory.");
    std::copy(pixels.begin(), pixels.end(), static_cast<DWORD*>(bits));
    return bitmap;
}

// Frees a picture argument's interfaces when the put is done.
HBITMAP picture_bitmap(IUnknown* object, ComPtr<IPicture>& picture) {
    if (!object || FAILED(object->QueryInterface(IID_PPV_ARGS(&picture))))
        fail(DISP_E_TYPEMISMATCH, L"Type mismatch");
    short type = 0;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(picture->get_Handle(&handle)))
        fail(E_INVALIDARG, L"The picture is not a bitmap.");
    return reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
}

struct clipboard_session {
    clipboard_session() : open(::OpenClipboard(nullptr) != FALSE) {}
    ~clipboard_session() {
        if (open) ::CloseClipboard();
    }
    bool open;
};

}  // namespace

// ---- control ----

control::control(std::shared_ptr<bars_context> context, int type, int id, bool builtin, bool temporary)
    : host_object(control_kind(type), control_interfaces(type)), context_(std::move(context)), type_(type),
      id_(id), builtin_(builtin), temporary_(temporary) {
    if (type == kButton) outgoing(ids::DIID_CommandBarButtonEvents);
    if (type == kEdit || type == kDropdown || type == kComboBox) outgoing(ids::DIID_CommandBarComboBoxEvents);
    if (builtin) {
        caption_ = catalogue().at(id).caption;
        face_id_ = type == kButton ? id : 0;
        if (face_id_) face_.source = 1;
    } else {
        caption_ = type == kPopup ? L"Custom" : L"";
    }
    register_members();
    if (type == kButton) register_button_members();
    if (type == kEdit || type == kDropdown || type == kComboBox) register_list_members();
    all_controls().push_back(this);
}

control::~control() { std::erase(all_controls(), this); }

void control::check_usable() const {
    if (!context_->alive) fail(RPC_E_DISCONNECTED, L"The object invoked has disconnected from its clients.");
    if (deleted_) fail(E_FAIL, L"The control has been deleted.");
}

bool control::offers(const std::wstring& name) const {
    if (context_->picture_support) return true;
    return ::_wcsicmp(name.c_str(), L"Picture") != 0 && ::_wcsicmp(name.c_str(), L"Mask") != 0;
}

void control::register_members() {
    auto text = [](std::wstring& field) {
        return std::pair<getter, putter>{[&field](const call_args&) { return flinter::variant(field); },
                                         [&field](const call_args& a) { field = flinter::variant(a.value()).as_wstring(); }};
    };
    auto number = [](int& field) {
        return std::pair<getter, putter>{[&field](const call_args&) { return flinter::variant(field); },
                                         [&field](const call_args& a) { field = flinter::variant(a.value()).as_int(); }};
    };
    auto flag = [](bool& field) {
        return std::pair<getter, putter>{[&field](const call_args&) { return flinter::variant(field); },
                                         [&field](const call_args& a) { field = flinter::variant(a.value()).as_bool(); }};
    };
    auto add = [this](const wchar_t* name, std::pair<getter, putter> accessors) {
        property(name, std::move(accessors.first), std::move(accessors.second));
    };
    add(L"BeginGroup", flag(begin_group_));
    add(L"Caption", text(caption_));
    add(L"DescriptionText", text(description_));
    add(L"Enabled", flag(enabled_));
    add(L"Height", number(height_));
    add(L"HelpContextId", number(help_context_));
    add(L"HelpFile", text(help_file_));
    add(L"Parameter", text(parameter_));
    add(L"Priority", number(priority_));
    add(L"Tag", text(tag_));
    add(L"TooltipText", text(tooltip_));
    add(L"Visible", flag(visible_));
    add(L"Width", number(width_));
    add(L"OnAction", text(on_action_));
    property(L"BuiltIn", [this](const call_args&) { return flinter::variant(builtin_); });
    property(L"Id", [this](const call_args&) { return flinter::variant(id_); });
    property(L"Type", [this](const call_args&) { return flinter::variant(type_); });
    property(L"Index", [this](const call_args&) {
        auto bar = owner();
        return flinter::variant(static_cast<std::int32_t>(bar ? bar->index_of(this) : 0));
    });
    property(L"Parent", [this](const call_args&) {
        auto bar = owner();
        return bar ? bar->as_variant() : nothing();
    });
    method(L"Move", [this](const call_args& a) {
        move(a);
        return flinter::variant();
    });
    method(L"Delete", [this](const call_args&) {
        remove();
        return flinter::variant();
    });
    method(L"Execute", [this](const call_args&) {
        if (type_ == kButton) click();
        return flinter::variant();
    });
    if (type_ == kPopup) {
        property(L"CommandBar", [this](const call_args&) { return popup_->as_variant(); });
        property(L"Controls", [this](const call_args&) { return popup_->controls_variant(); });
    }
}

void control::register_button_members() {
    property(L"FaceId", [this](const call_args&) { return flinter::variant(face_id_); },
             [this](const call_args& a) {
                 face_id_ = flinter::variant(a.value()).as_int();
                 face_ = {};
                 face_.source = face_id_ ? 1 : 0;
             });
    property(L"ShortcutText", [this](const call_args&) { return flinter::variant(shortcut_); },
             [this](const call_args& a) { shortcut_ = flinter::variant(a.value()).as_wstring(); });
    property(L"State", [this](const call_args&) { return flinter::variant(state_); },
             [this](const call_args& a) { state_ = flinter::variant(a.value()).as_int(); });
    property(L"Style", [this](const call_args&) { return flinter::variant(style_); },
             [this](const call_args& a) { style_ = flinter::variant(a.value()).as_int(); });
    property(L"HyperlinkType", [this](const call_args&) { return flinter::variant(hyperlink_type_); },
             [this](const call_args& a) { hyperlink_type_ = flinter::variant(a.value()).as_int(); });
    property(L"Picture", [this](const call_args&) { return get_picture(false); },
             [this](const call_args& a) { put_picture(a, false); });
    property(L"Mask", [this](const call_args&) { return get_picture(true); },
             [this](const call_args& a) { put_picture(a, true); });
    method(L"PasteFace", [this](const call_args&) {
        paste_face();
        return flinter::variant();
    });
}

void control::register_list_members() {
    property(L"Text", [this](const call_args&) { return flinter::variant(text_); },
             [this](const call_args& a) { text_ = flinter::variant(a.value()).as_wstring(); });
    method(L"AddItem", [this](const call_args& a) {
        const std::wstring item = a.text(0);
        const int at = a.integer_or(1, static_cast<int>(list_.size()) + 1);
        if (at < 1 || at > static_cast<int>(list_.size()) + 1) fail(E_INVALIDARG, L"Invalid procedure call or argument");
        list_.insert(list_.begin() + (at - 1), item);
        return flinter::variant();
    });
    property(L"ListCount", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(list_.size())); });
    property(L"List", [this](const call_args& a) {
        const int at = a.integer(0);
        if (at < 1 || at > static_cast<int>(list_.size())) fail(E_INVALIDARG, L"Invalid procedure call or argument");
        return flinter::variant(list_[at - 1]);
    });
    property(L"ListIndex", [this](const call_args&) { return flinter::variant(list_index_); },
             [this](const call_args& a) {
                 const int at = flinter::variant(a.value()).as_int();
                 if (at < 0 || at > static_cast<int>(list_.size())) fail(E_INVALIDARG, L"Invalid procedure call or argument");
                 list_index_ = at;
                 if (at > 0) text_ = list_[at - 1];
             });
    method(L"Clear", [this](const call_args&) {
        list_.clear();
        list_index_ = 0;
        return flinter::variant();
    });
}

// A face without a picture reads as a grey square; without a mask, as one
// that lets nothing through (black).
flinter::variant control::get_picture(bool mask) const {
    std::vector<DWORD> pixels = mask ? face_.mask : face_.pixels;
    int width = mask ? face_.mask_width : face_.width, height = mask ? face_.mask_height : face_.height;
    if (pixels.empty()) {
        width = height = 16;
        pixels.assign(256, mask ? 0x00000000 : 0x00C0C0C0);
    }
    unique_hbitmap bitmap = bitmap_from_pixels(width, height, pixels);
    PICTDESC description{sizeof(PICTDESC), PICTYPE_BITMAP, {}};
    description.bmp.hbitmap = bitmap.get();
    ComPtr<IPictureDisp> picture;
    if (FAILED(::OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                          reinterpret_cast<void**>(picture.GetAddressOf()))))
        fail(E_FAIL, L"The picture could not be made.");
    (void)bitmap.release();   // the picture owns it now
    return flinter::variant(static_cast<IDispatch*>(picture.Get()));
}

void control::put_picture(const call_args& a, bool mask) {
    ComPtr<IUnknown> object = flinter::variant(a.value()).as_unknown();
    ComPtr<IPicture> picture;
    HBITMAP bitmap = picture_bitmap(object.Get(), picture);
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    read_bitmap(bitmap, width, height, pixels);
    if (mask) {
        face_.mask = std::move(pixels);
        face_.mask_width = width;
        face_.mask_height = height;
        return;
    }
    face_.source = 2;
    face_.width = width;
    face_.height = height;
    face_.pixels = std::move(pixels);
}

void control::paste_face() {
    clipboard_session clipboard;
    if (!clipboard.open) fail(E_FAIL, L"The clipboard could not be opened.");
    auto bitmap = static_cast<HBITMAP>(::GetClipboardData(CF_BITMAP));
    if (!bitmap) fail(E_FAIL, L"The clipboard does not hold a picture.");
    face f;
    read_bitmap(bitmap, f.width, f.height, f.pixels);
    f.source = 3;
    face_ = std::move(f);
}

void control::move(const call_args& a) {
    std::shared_ptr<command_bar> target = owner();
    if (a.given(0)) {
        ComPtr<IUnknown> wanted = a.object(0);
        ComPtr<IUnknown> identity;
        if (wanted) wanted.As(&identity);
        target = nullptr;
        if (auto current = owner(); current && identity) {
            if (auto collection = std::dynamic_pointer_cast<command_bars>(current->collection_.lock())) {
                for (auto& bar : collection->bars())
                    if (static_cast<IDispatch*>(bar.get()) == identity.Get()) target = bar;
            }
            if (static_cast<IDispatch*>(current.get()) == identity.Get()) target = current;
        }
        if (!target) fail(E_INVALIDARG, L"Invalid procedure call or argument");
    }
    auto self = std::static_pointer_cast<control>(shared_from_this());
    // Office counts Before among the target's controls as they are before the
    // move: the control lands in front of the one that held that position.
    const int before = a.integer_or(1, 0);
    std::shared_ptr<control> in_front_of;
    if (before >= 1 && before <= static_cast<int>(target->controls_.size())) in_front_of = target->controls_[before - 1];
    if (in_front_of == self) return;
    if (auto current = owner()) current->detach(this);
    target->insert(self, in_front_of ? static_cast<int>(target->index_of(in_front_of.get())) : 0);
    attach(target);
}

void control::remove() {
    auto keep = shared_from_this();
    if (auto bar = owner()) bar->detach(this);
    mark_deleted();
}

void control::mark_deleted(bool with_window) {
    deleted_ = true;
    window_closed_ = with_window;
    if (popup_) popup_->mark_deleted(with_window);
}

bool control::reachable() const {
    if (deleted_ || !visible_ || !enabled_) return false;
    auto bar = owner();
    return bar && bar->reachable();
}

std::shared_ptr<control> control::clone(const std::shared_ptr<bars_context>& context) const {
    auto copy = make<control>(context, type_, id_, builtin_, temporary_);
    copy->begin_group_ = begin_group_;
    copy->enabled_ = enabled_;
    copy->visible_ = visible_;
    copy->caption_ = caption_;
    copy->description_ = description_;
    copy->help_file_ = help_file_;
    copy->parameter_ = parameter_;
    copy->tag_ = tag_;
    copy->tooltip_ = tooltip_;
    copy->on_action_ = on_action_;
    copy->height_ = height_;
    copy->width_ = width_;
    copy->help_context_ = help_context_;
    copy->priority_ = priority_;
    copy->face_id_ = face_id_;
    copy->state_ = state_;
    copy->style_ = style_;
    copy->hyperlink_type_ = hyperlink_type_;
    copy->shortcut_ = shortcut_;
    copy->face_ = face_;
    copy->list_ = list_;
    copy->list_index_ = list_index_;
    copy->text_ = text_;
    if (popup_) {
        copy->popup_ = popup_->clone(context);
        copy->popup_->opener_ = copy;
    }
    return copy;
}

bool control::click() {
    auto keep = shared_from_this();
    log_call(L"click " + tag_);
    VARIANT_BOOL cancel_default = VARIANT_FALSE;
    // Office raises the event on every control that carries the same tag,
    // also on one an add-in still holds after its window closed.
    std::vector<std::shared_ptr<host_object>> targets{keep};
    if (!tag_.empty()) {
        for (control* other : all_controls())
            if (other != this && other->type_ == type_ && other->tag_ == tag_ &&
                (!other->deleted_ || other->window_closed_) && !other->weak_from_this().expired())
                targets.push_back(other->shared_from_this());
    }
    for (auto& target : targets) {
        ComPtr<IDispatch> ctrl = dispatch();
        VARIANT args[2];
        args[0].vt = VT_DISPATCH;
        args[0].pdispVal = ctrl.Get();
        args[1].vt = VT_BOOL | VT_BYREF;
        args[1].pboolVal = &cancel_default;
        target->fire(ids::DIID_CommandBarButtonEvents, ids::kClick, args);
    }
    return cancel_default != VARIANT_FALSE;
}

HRESULT control::click_as_user(bool* cancel_default) {
    if (!reachable()) {
        log_call(L"unreachable " + tag_);
        return MAILHOST_E_UNREACHABLE;
    }
    const bool cancelled = click();
    if (cancel_default) *cancel_default = cancelled;
    return S_OK;
}

HRESULT control::change_as_user(const std::wstring& text) {
    if (!reachable()) {
        log_call(L"unreachable " + tag_);
        return MAILHOST_E_UNREACHABLE;
    }
    change(text);
    return S_OK;
}

void control::change(const std::wstring& text) {
    auto keep = shared_from_this();
    text_ = text;
    log_call(L"change " + tag_);
    std::vector<std::shared_ptr<host_object>> targets{keep};
    if (!tag_.empty()) {
        for (control* other : all_controls())
            if (other != this && other->tag_ == tag_ && other->type_ != kButton && other->type_ != kPopup &&
                !other->deleted_ && !other->weak_from_this().expired())
                targets.push_back(other->shared_from_this());
    }
    for (auto& target : targets) {
        ComPtr<IDispatch> ctrl = dispatch();
        VARIANT arg;
        arg.vt = VT_DISPATCH;
        arg.pdispVal = ctrl.Get();
        target->fire(ids::DIID_CommandBarComboBoxEvents, ids::kChange, {&arg, 1});
    }
}

// ---- controls collection ----

class controls_object : public host_object {
public:
    explicit controls_object(std::weak_ptr<command_bar> owner)
        : host_object(L"CommandBarControls", {ids::IID_CommandBarControls}), bar_(std::move(owner)) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(bar()->controls().size())); });
        property(L"Item", [this](const call_args& a) {
            auto b = bar();
            if (a.is_text(0)) {
                const std::wstring caption = a.text(0);
                for (auto& c : b->controls())
                    if (::_wcsicmp(c->caption_.c_str(), caption.c_str()) == 0) return c->as_variant();
                fail(E_INVALIDARG, L"Invalid procedure call or argument");
            }
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(b->controls().size())) fail(E_INVALIDARG, L"Invalid procedure call or argument");
            return b->controls()[at - 1]->as_variant();
        });
        method(L"Add", [this](const call_args& a) {
            const int id = a.integer_or(1, 1);
            const int type = a.integer_or(0, 0);
            const std::wstring parameter = a.text_or(2, L"");
            const int before = a.integer_or(3, 0);
            const bool temporary = a.flag_or(4, false);
            return bar()->add(type, id, parameter, before, temporary)->as_variant();
        });
        property(L"Parent", [this](const call_args&) { return bar()->as_variant(); });
    }

protected:
    void check_usable() const override {
        auto b = bar_.lock();
        if (!b || b->deleted()) fail(E_FAIL, L"The command bar has been deleted.");
        b->check_usable();
    }

private:
    std::shared_ptr<command_bar> bar() const { return bar_.lock(); }
    std::weak_ptr<command_bar> bar_;
};

// ---- command bar ----

command_bar::command_bar(std::shared_ptr<bars_context> context, std::wstring name, int position, bool builtin,
                         bool temporary, int bar_type)
    : host_object(L"CommandBar", {ids::IID_CommandBar}), context_(std::move(context)), name_(name),
      name_local_(name), position_(position), builtin_(builtin), temporary_(temporary), bar_type_(bar_type) {
    register_members();
}

void command_bar::check_usable() const {
    if (!context_->alive) fail(RPC_E_DISCONNECTED, L"The object invoked has disconnected from its clients.");
    if (deleted_) fail(E_FAIL, L"The command bar has been deleted.");
}

void command_bar::register_members() {
    property(L"Name", [this](const call_args&) { return flinter::variant(name_); },
             [this](const call_args& a) {
                 if (builtin_) fail(E_FAIL, L"The name of a built-in command bar cannot be changed.");
                 name_ = flinter::variant(a.value()).as_wstring();
             });
    property(L"NameLocal", [this](const call_args&) { return flinter::variant(name_local_); },
             [this](const call_args& a) { name_local_ = flinter::variant(a.value()).as_wstring(); });
    property(L"BuiltIn", [this](const call_args&) { return flinter::variant(builtin_); });
    property(L"Type", [this](const call_args&) { return flinter::variant(bar_type_); });
    property(L"Enabled", [this](const call_args&) { return flinter::variant(enabled_); },
             [this](const call_args& a) { enabled_ = flinter::variant(a.value()).as_bool(); });
    property(L"Visible", [this](const call_args&) { return flinter::variant(visible_); },
             [this](const call_args& a) { visible_ = flinter::variant(a.value()).as_bool(); });
    property(L"Position", [this](const call_args&) { return flinter::variant(position_); },
             [this](const call_args& a) {
                 const int position = flinter::variant(a.value()).as_int();
                 if (position < 0 || position > 6 || position == 5 || (position == 6) != (bar_type_ == 1))
                     fail(E_INVALIDARG, L"Invalid procedure call or argument");
                 position_ = position;
             });
    property(L"Protection", [this](const call_args&) { return flinter::variant(protection_); },
             [this](const call_args& a) { protection_ = flinter::variant(a.value()).as_int(); });
    property(L"Left", [this](const call_args&) { return flinter::variant(left_); },
             [this](const call_args& a) { left_ = flinter::variant(a.value()).as_int(); });
    property(L"Top", [this](const call_args&) { return flinter::variant(top_); },
             [this](const call_args& a) { top_ = flinter::variant(a.value()).as_int(); });
    property(L"RowIndex", [this](const call_args&) { return flinter::variant(row_index_); },
             [this](const call_args& a) { row_index_ = flinter::variant(a.value()).as_int(); });
    property(L"Index", [this](const call_args&) {
        auto collection = std::dynamic_pointer_cast<command_bars>(collection_.lock());
        if (!collection) return flinter::variant(0);
        auto& bars = collection->bars();
        for (std::size_t i = 0; i < bars.size(); ++i)
            if (bars[i].get() == this) return flinter::variant(static_cast<std::int32_t>(i + 1));
        return flinter::variant(0);
    });
    property(L"Controls", [this](const call_args&) { return controls_variant(); });
    method(L"FindControl", [this](const call_args& a) {
        const std::wstring tag = a.text_or(2, L"");
        auto found = find(a.integer_or(0, 0), a.integer_or(1, 0), a.given(2) ? &tag : nullptr, a.flag_or(3, false),
                          a.flag_or(4, false));
        return found ? found->as_variant() : nothing();
    });
    method(L"Delete", [this](const call_args&) {
        if (builtin_) fail(E_FAIL, L"A built-in command bar cannot be deleted.");
        auto keep = shared_from_this();
        if (auto collection = std::dynamic_pointer_cast<command_bars>(collection_.lock()))
            std::erase_if(collection->bars(), [this](const auto& b) { return b.get() == this; });
        mark_deleted();
        return flinter::variant();
    });
}

std::shared_ptr<control> command_bar::add(int type, int id, const std::wstring& parameter, int before, bool temporary) {
    bool builtin = false;
    if (id != 1) {
        auto known = catalogue().find(id);
        if (known == catalogue().end()) fail(E_INVALIDARG, L"Invalid procedure call or argument");
        type = known->second.type;
        builtin = true;
    } else {
        if (type == 0) type = kButton;
        check_type(type);
    }
    if (before < 0 || before > static_cast<int>(controls_.size()) + 1)
        fail(E_INVALIDARG, L"Invalid procedure call or argument");
    auto item = make<control>(context_, type, id, builtin, temporary || temporary_);
    item->parameter_ = parameter;
    if (type == kPopup) {
        item->popup_ = make<command_bar>(context_, item->caption_, 5, builtin, temporary || temporary_, 2);
        item->popup_->collection_ = collection_;
        item->popup_->opener_ = item;
    }
    insert(item, before);
    item->attach(std::static_pointer_cast<command_bar>(shared_from_this()));
    return item;
}

void command_bar::insert(std::shared_ptr<control> item, int before) {
    if (before < 1 || before > static_cast<int>(controls_.size()) + 1)
        controls_.push_back(std::move(item));
    else
        controls_.insert(controls_.begin() + (before - 1), std::move(item));
}

std::size_t command_bar::index_of(const control* item) const {
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].get() == item) return i + 1;
    return 0;
}

void command_bar::detach(const control* item) {
    std::erase_if(controls_, [item](const auto& c) { return c.get() == item; });
}

std::shared_ptr<control> command_bar::find(int type, int id, const std::wstring* tag, bool visible_only,
                                           bool recursive) const {
    for (const auto& c : controls_) {
        const bool matches = (type == 0 || c->type_ == type) && (id == 0 || c->id_ == id) &&
                             (!tag || c->tag_ == *tag) && (!visible_only || c->visible_);
        if (matches) return c;
        if (recursive && c->popup_) {
            if (auto inner = c->popup_->find(type, id, tag, visible_only, true)) return inner;
        }
    }
    return nullptr;
}

void command_bar::mark_deleted(bool with_window) {
    deleted_ = true;
    for (auto& c : controls_) c->mark_deleted(with_window);
}

bool command_bar::reachable() const {
    if (deleted_) return false;
    if (auto opener = opener_.lock()) return opener->reachable();
    return visible_ && enabled_;
}

std::shared_ptr<command_bar> command_bar::clone(const std::shared_ptr<bars_context>& context) const {
    auto copy = make<command_bar>(context, name_, position_, builtin_, temporary_, bar_type_);
    copy->name_local_ = name_local_;
    copy->enabled_ = enabled_;
    copy->visible_ = visible_;
    copy->protection_ = protection_;
    copy->left_ = left_;
    copy->top_ = top_;
    copy->row_index_ = row_index_;
    for (const auto& c : controls_) {
        if (c->temporary_) continue;
        auto item = c->clone(context);
        copy->controls_.push_back(item);
        item->attach(copy);
    }
    return copy;
}

flinter::variant command_bar::controls_variant() {
    if (!controls_object_) controls_object_ = make<controls_object>(std::static_pointer_cast<command_bar>(shared_from_this()));
    return controls_object_->as_variant();
}

// ---- collection ----

command_bars::command_bars(std::shared_ptr<bars_context> context)
    : host_object(L"CommandBars", {ids::IID_CommandBars}), context_(std::move(context)) {
    register_members();
}

void command_bars::check_usable() const {
    if (!context_->alive) fail(RPC_E_DISCONNECTED, L"The object invoked has disconnected from its clients.");
    if (closed_) fail(E_FAIL, L"The window of these command bars has closed.");
}

void command_bars::register_members() {
    property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(bars_.size())); });
    property(L"Item", [this](const call_args& a) {
        if (a.is_text(0)) {
            const std::wstring name = a.text(0);
            for (auto& bar : bars_)
                if (::_wcsicmp(bar->name_.c_str(), name.c_str()) == 0) return bar->as_variant();
            fail(E_INVALIDARG, L"Invalid procedure call or argument");
        }
        const int at = a.integer(0);
        if (at < 1 || at > static_cast<int>(bars_.size())) fail(E_INVALIDARG, L"Invalid procedure call or argument");
        return bars_[at - 1]->as_variant();
    });
    method(L"Add", [this](const call_args& a) {
        std::wstring name = a.text_or(0, L"");
        if (name.empty()) name = L"Custom " + std::to_wstring(++custom_count_);
        for (auto& bar : bars_)
            if (::_wcsicmp(bar->name_.c_str(), name.c_str()) == 0) fail(E_INVALIDARG, L"Invalid procedure call or argument");
        const int position = a.integer_or(1, 4);
        const bool menu_bar = a.flag_or(2, false);
        if (position < 0 || position > 6 || (position == 6 && !menu_bar)) fail(E_INVALIDARG, L"Invalid procedure call or argument");
        auto bar = make<command_bar>(context_, name, position, false, a.flag_or(3, false), menu_bar ? 1 : 0);
        add_bar(bar);
        return bar->as_variant();
    });
    method(L"FindControl", [this](const call_args& a) {
        const std::wstring tag = a.text_or(2, L"");
        auto found = find(a.integer_or(0, 0), a.integer_or(1, 0), a.given(2) ? &tag : nullptr, a.flag_or(3, false));
        return found ? found->as_variant() : nothing();
    });
}

void command_bars::add_bar(std::shared_ptr<command_bar> bar) {
    bar->collection_ = weak_from_this();
    for (auto& c : bar->controls_)
        if (c->popup_) c->popup_->collection_ = weak_from_this();
    bars_.push_back(std::move(bar));
}

std::shared_ptr<control> command_bars::find(int type, int id, const std::wstring* tag, bool visible_only) const {
    for (const auto& bar : bars_)
        if (auto found = bar->find(type, id, tag, visible_only, true)) return found;
    return nullptr;
}

std::shared_ptr<control> command_bars::find_for_user(const std::wstring& tag) const {
    std::shared_ptr<control> first;
    std::vector<std::shared_ptr<command_bar>> pending(bars_.begin(), bars_.end());
    for (std::size_t i = 0; i < pending.size(); ++i) {
        for (const auto& c : pending[i]->controls_) {
            if (c->tag_ == tag) {
                if (c->reachable()) return c;
                if (!first) first = c;
            }
            if (c->popup_) pending.push_back(c->popup_);
        }
    }
    return first;
}

void command_bars::close() {
    closed_ = true;
    for (auto& bar : bars_) bar->mark_deleted(true);
    bars_.clear();
}

std::shared_ptr<command_bars> command_bars::builtin(std::shared_ptr<bars_context> context) {
    auto collection = make<command_bars>(context);
    auto menu = make<command_bar>(context, L"Menu Bar", 6, true, false, 1);
    menu->visible_ = true;
    collection->add_bar(menu);
    for (int id : {30002, 30003, 30004, 30007, 30010}) menu->add(0, id, L"", 0, false);
    menu->controls_[0]->popup_->add(0, 4, L"", 0, false);
    menu->controls_[0]->popup_->add(0, 752, L"", 0, false);
    menu->controls_[1]->popup_->add(0, 1679, L"", 0, false);
    menu->controls_[1]->popup_->add(0, 478, L"", 0, false);
    menu->controls_[3]->popup_->add(0, 5488, L"", 0, false);
    menu->controls_[3]->popup_->add(0, 2521, L"", 0, false);
    menu->controls_[3]->popup_->add(0, 522, L"", 0, false);
    menu->controls_[4]->popup_->add(0, 927, L"", 0, false);
    auto standard = make<command_bar>(context, L"Standard", 1, true, false, 0);
    standard->visible_ = true;
    collection->add_bar(standard);
    for (int id : {4, 1679, 478, 354, 355, 356, 5488, 1849, 2521}) standard->add(0, id, L"", 0, false);
    auto advanced = make<command_bar>(context, L"Advanced", 1, true, false, 0);
    advanced->row_index_ = 2;
    collection->add_bar(advanced);
    for (auto& bar : collection->bars_)
        for (auto& c : bar->controls_)
            if (c->popup_) c->popup_->collection_ = collection;
    return collection;
}

std::shared_ptr<command_bars> command_bars::clone_persistent(const std::shared_ptr<bars_context>& context) const {
    auto collection = make<command_bars>(context);
    for (const auto& bar : bars_)
        if (bar->builtin_ || !bar->temporary_) collection->add_bar(bar->clone(context));
    return collection;
}

}  // namespace mailhost
