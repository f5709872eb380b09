// The filtering service's web login address for the "Login" command, built
// from the user name and password the settings hold. Pure; throws only
// std::bad_alloc.
#pragma once

#include <string>
#include <string_view>

namespace flinter {

inline constexpr std::string_view kLoginRoot = "http://login.postini.com";

// The login root alone when there is no user name; with a user name the login
// path with it, and the password too when there is one. Both values are
// percent-encoded, so that "&", "#", "+", "%", "=" or a blank in them can
// neither break the query nor add parameters of their own.
std::string LoginAddress(std::string_view user_name, std::string_view password);

// Every byte outside RFC 3986's unreserved set (letters, digits, "-._~")
// becomes "%" and two upper-case hex digits.
std::string PercentEncode(std::string_view value);

}  // namespace flinter
