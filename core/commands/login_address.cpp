#include "core/commands/login_address.h"

namespace flinter {
namespace {

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::string PercentEncode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(value.size());
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_unreserved(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

std::string LoginAddress(std::string_view user_name, std::string_view password) {
    std::string address(kLoginRoot);
    if (user_name.empty()) return address;
    address += "/exec/login?email=" + PercentEncode(user_name);
    if (!password.empty()) address += "&pword=" + PercentEncode(password);
    return address + "&action=login";
}

}  // namespace flinter
