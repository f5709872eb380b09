// Mail items, their recipients and attachments, and folders; .eml reading and writing.
#include <fstream>
#include <sstream>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "ids.h"
#include "mapi_message.h"
#include "model.h"

namespace mailhost {
namespace {

// The header block ends at the first empty line; it keeps its last CR LF.
std::pair<std::string, std::string> split_message(const std::string& eml) {
    const auto end = eml.find("\r\n\r\n");
    if (eml.starts_with("\r\n")) return {"", eml.substr(2)};
    if (end == std::string::npos) return {eml, ""};
    return {eml.substr(0, end + 2), eml.substr(end + 4)};
}

std::string header_value(const std::string& headers, const char* name) {
    std::istringstream lines(headers);
    std::string line, value;
    bool in_field = false;
    const std::string wanted = std::string(name) + ":";
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (in_field && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            value += line;   // unfolded
            continue;
        }
        if (in_field) break;
        if (line.size() >= wanted.size() && ::_strnicmp(line.c_str(), wanted.c_str(), wanted.size()) == 0) {
            in_field = true;
            value = line.substr(wanted.size());
        }
    }
    const auto first = value.find_first_not_of(" \t");
    return first == std::string::npos ? "" : value.substr(first);
}

std::string utf8(const std::wstring& text) { return flinter::narrow(text.c_str()); }

std::string base64(const std::string& data) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        unsigned n = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) n |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) n |= static_cast<unsigned char>(data[i + 2]);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < data.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < data.size() ? digits[n & 63] : '=';
        if ((i / 3 + 1) % 19 == 0) out += "\r\n";
    }
    return out + "\r\n";
}

std::string read_file(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) fail(E_FAIL, L"Cannot find this file. Verify the path and file name are correct.");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring file_name_of(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

flinter::variant text_variant(const std::wstring& text) { return flinter::variant(text); }

}  // namespace

// A snapshot of a folder's items or subfolders, Item from 1 (or by name).
template <class T>
class list_view : public app_object {
public:
    list_view(std::shared_ptr<application> app, const wchar_t* kind, const IID& iid, std::vector<std::shared_ptr<T>> list)
        : app_object(std::move(app), kind, {iid}), list_(std::move(list)) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(list_.size())); });
        property(L"Item", [this](const call_args& a) {
            if constexpr (std::is_same_v<T, folder>) {
                if (a.is_text(0)) {
                    for (auto& f : list_)
                        if (::_wcsicmp(f->name().c_str(), a.text(0).c_str()) == 0) return f->as_variant();
                    fail(E_FAIL, L"The attempted operation failed. An object could not be found.");
                }
            }
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(list_.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return list_[at - 1]->as_variant();
        });
    }

private:
    std::vector<std::shared_ptr<T>> list_;
};

// Recipients and attachments are views over their item; they keep it alive.
class recipients_view : public app_object {
public:
    recipients_view(std::shared_ptr<application> app, std::shared_ptr<mail_item> item)
        : app_object(std::move(app), L"Recipients", {ids::IID_Recipients}), item_(std::move(item)) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(item_->recipients_.size())); });
        method(L"Add", [this](const call_args& a) {
            const std::wstring address = a.text(0);
            if (address.empty()) fail(E_INVALIDARG, L"The name is empty.");
            item_->recipients_.push_back({address, 1});
            item_->modified_ = true;
            return flinter::variant(static_cast<std::int32_t>(item_->recipients_.size()));
        });
        property(L"Item", [this](const call_args& a) {
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(item_->recipients_.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return flinter::variant(item_->recipients_[at - 1].address);
        });
    }

private:
    std::shared_ptr<mail_item> item_;
};

class attachments_view : public app_object {
public:
    attachments_view(std::shared_ptr<application> app, std::shared_ptr<mail_item> item)
        : app_object(std::move(app), L"Attachments", {ids::IID_Attachments}), item_(std::move(item)) {
        property(L"Count", [this](const call_args&) { return flinter::variant(static_cast<std::int32_t>(item_->attachments_.size())); });
        method(L"Add", [this](const call_args& a) {
            const std::wstring path = a.text(0);
            // Outlook copies the file's content at once; it must exist now.
            item_->attachments_.push_back({a.text_or(3, file_name_of(path)), read_file(path)});
            item_->modified_ = true;
            return flinter::variant(item_->attachments_.back().file_name);
        });
        property(L"Item", [this](const call_args& a) {
            const int at = a.integer(0);
            if (at < 1 || at > static_cast<int>(item_->attachments_.size())) fail(DISP_E_BADINDEX, L"Array index out of bounds.");
            return flinter::variant(item_->attachments_[at - 1].file_name);
        });
    }

private:
    std::shared_ptr<mail_item> item_;
};

mail_item::mail_item(std::shared_ptr<application> app, std::string eml, int item_class)
    : app_object(std::move(app), L"MailItem", {ids::IID_MailItem}), item_class_(item_class), raw_(std::move(eml)) {
    if (!raw_.empty()) {
        auto [headers, body] = split_message(raw_);
        headers_ = headers;
        subject_ = flinter::widen(header_value(headers_, "Subject"));
        from_ = flinter::widen(header_value(headers_, "From"));
        body_ = flinter::widen(body);
    }
    register_members();
}

std::wstring mail_item::received() const { return flinter::widen(header_value(headers_, "Date")); }

void mail_item::register_members() {
    property(L"Class", [this](const call_args&) { return flinter::variant(item_class_); });
    property(L"Subject", [this](const call_args&) { return text_variant(subject_); },
             [this](const call_args& a) { subject_ = flinter::variant(a.value()).as_wstring(); modified_ = true; });
    property(L"Body", [this](const call_args&) { return text_variant(body_); },
             [this](const call_args& a) { body_ = flinter::variant(a.value()).as_wstring(); modified_ = true; });
    property(L"To", [this](const call_args&) { return text_variant(to_line()); });
    property(L"BCC", [this](const call_args&) {
        std::wstring line;
        for (auto& r : recipients_)
            if (r.type == 3) line += (line.empty() ? L"" : L"; ") + r.address;
        return text_variant(line);
    }, [this](const call_args& a) {
        std::erase_if(recipients_, [](const auto& r) { return r.type == 3; });
        std::wstringstream names(flinter::variant(a.value()).as_wstring());
        for (std::wstring name; std::getline(names, name, L';');) {
            const auto first = name.find_first_not_of(L' ');
            if (first != std::wstring::npos) recipients_.push_back({name.substr(first), 3});
        }
        modified_ = true;
    });
    property(L"SenderName", [this](const call_args&) { return text_variant(from_); });
    property(L"Sent", [this](const call_args&) { return flinter::variant(sent_); });
    property(L"Parent", [this](const call_args&) {
        auto p = parent();
        return p ? p->as_variant() : flinter::variant(static_cast<IDispatch*>(nullptr));
    });
    property(L"Application", [this](const call_args&) { return app().as_variant(); });
    property(L"MAPIObject", [this](const call_args&) {
        flinter::variant result;
        result.get().vt = VT_UNKNOWN;
        result.get().punkVal = make_mapi_message(has_headers() ? std::optional<std::string>(headers_) : std::nullopt);
        return result;
    });
    property(L"Recipients", [this](const call_args&) { return make<recipients_view>(app_.lock(), self())->as_variant(); });
    property(L"Attachments", [this](const call_args&) { return make<attachments_view>(app_.lock(), self())->as_variant(); });
    method(L"SaveAs", [this](const call_args& a) {
        save_as(a.text(0));
        return flinter::variant();
    });
    method(L"Forward", [this](const call_args&) { return forward()->as_variant(); });
    method(L"Send", [this](const call_args&) {
        send();
        return flinter::variant();
    });
    method(L"Delete", [this](const call_args&) {
        remove();
        return flinter::variant();
    });
    method(L"Display", [this](const call_args&) {
        display();
        return flinter::variant();
    });
}

void mail_item::move_to(const std::shared_ptr<folder>& target) {
    auto keep = self();
    if (auto from = parent()) std::erase(from->items, keep);
    parent_ = target;
    if (target) target->items.push_back(keep);
}

std::wstring mail_item::to_line() const {
    std::wstring line;
    for (auto& r : recipients_)
        if (r.type == 1) line += (line.empty() ? L"" : L"; ") + r.address;
    return line;
}

std::shared_ptr<mail_item> mail_item::forward() {
    auto copy = make<mail_item>(app_.lock(), std::string(), item_class_);
    copy->subject_ = L"FW: " + subject_;
    copy->body_ = L"\r\n\r\n-----Original Message-----\r\nFrom: " + from_ + L"\r\nTo: " +
                  flinter::widen(header_value(headers_, "To")) + L"\r\nSubject: " + subject_ + L"\r\n\r\n" + body_;
    for (const auto& attachment : attachments_) copy->attachments_.push_back(attachment);
    return copy;
}

std::string mail_item::compose_eml() const {
    if (!raw_.empty() && !modified_) return raw_;
    std::string out = "From: Mailhost User <user@mailhost.invalid>\r\n";
    if (auto to = to_line(); !to.empty()) out += "To: " + utf8(to) + "\r\n";
    std::string bcc;
    for (auto& r : recipients_)
        if (r.type == 3) bcc += (bcc.empty() ? "" : ", ") + utf8(r.address);
    if (!bcc.empty()) out += "Bcc: " + bcc + "\r\n";
    out += "Subject: " + utf8(subject_) + "\r\nMIME-Version: 1.0\r\n";
    const std::string text_part = "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    if (attachments_.empty()) return out + text_part + utf8(body_);
    const std::string boundary = "----=_mailhost_part";
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\n" + text_part + utf8(body_) + "\r\n";
    for (const auto& attachment : attachments_) {
        out += "--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"" + utf8(attachment.file_name) +
               "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
               utf8(attachment.file_name) + "\"\r\n\r\n" + base64(attachment.content);
    }
    return out + "--" + boundary + "--\r\n";
}

void mail_item::save_as(const std::wstring& path) const {
    if (path.empty()) fail(E_INVALIDARG, L"The file name is empty.");
    const std::string eml = compose_eml();
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    if (!out) fail(E_FAIL, L"Cannot save the item. The file may be in use or the folder may not exist.");
    out.write(eml.data(), static_cast<std::streamsize>(eml.size()));
    if (!out) fail(E_FAIL, L"Cannot save the item.");
}

void mail_item::send() {
    if (sent_) fail(E_FAIL, L"The item has been moved or deleted.");
    if (recipients_.empty()) fail(E_FAIL, L"There must be at least one name or distribution list in the To, Cc, or Bcc box.");
    application& host = app();
    VARIANT_BOOL cancel = VARIANT_FALSE;
    ComPtr<IDispatch> item = dispatch();
    VARIANT args[2];
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = item.Get();
    args[1].vt = VT_BOOL | VT_BYREF;
    args[1].pboolVal = &cancel;
    host.fire(ids::DIID_ApplicationEvents, ids::kItemSend, args);
    if (cancel) return;
    sent_ = true;
    move_to(host.default_folder(4));
    host.write_sent(compose_eml());
}

void mail_item::remove() {
    application& host = app();
    auto deleted = host.default_folder(3);
    if (parent() == deleted || !parent())
        move_to(nullptr);   // deleted for good
    else
        move_to(deleted);
}

void mail_item::display() { app().open_inspector(self()); }

folder::folder(std::shared_ptr<application> app, std::wstring name, int item_type, std::weak_ptr<folder> parent)
    : app_object(std::move(app), L"MAPIFolder", {ids::IID_MAPIFolder}), name_(std::move(name)),
      item_type_(item_type), parent_(std::move(parent)) {
    property(L"Name", [this](const call_args&) { return flinter::variant(name_); });
    property(L"DefaultItemType", [this](const call_args&) { return flinter::variant(item_type_); });
    property(L"FolderPath", [this](const call_args&) { return flinter::variant(L"\\\\" + path()); });
    property(L"Class", [](const call_args&) { return flinter::variant(2); });
    property(L"Parent", [this](const call_args&) {
        if (auto p = parent_.lock()) return p->as_variant();
        return this->app().namespace_variant();   // a store's top folder belongs to the namespace
    });
    property(L"Application", [this](const call_args&) { return this->app().as_variant(); });
    property(L"Items", [this](const call_args&) {
        return make<list_view<mail_item>>(app_.lock(), L"Items", ids::IID_Items, items)->as_variant();
    });
    property(L"Folders", [this](const call_args&) {
        return make<list_view<folder>>(app_.lock(), L"Folders", ids::IID_Folders, children)->as_variant();
    });
}

std::wstring folder::path() const {
    auto p = parent_.lock();
    return p ? p->path() + L"\\" + name_ : name_;
}

std::shared_ptr<folder> folder::add_child(const std::wstring& name, int item_type) {
    if (name.empty() || name.find(L'\\') != std::wstring::npos) fail(E_INVALIDARG, L"The folder name is not valid.");
    if (item_type < 0 || item_type > 7) fail(E_INVALIDARG, L"The item type is not valid.");
    for (const auto& child : children)
        if (::_wcsicmp(child->name().c_str(), name.c_str()) == 0)
            fail(E_FAIL, L"Cannot create the folder. A folder with that name already exists.");
    auto child = make<folder>(app_.lock(), name, item_type, std::static_pointer_cast<folder>(shared_from_this()));
    children.push_back(child);
    return child;
}

}  // namespace mailhost
