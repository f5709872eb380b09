// The "Login" address: the four forms, with values that would break the query
// or smuggle in parameters of their own if they went in raw.
#include "core/commands/login_address.h"

#include <gtest/gtest.h>

namespace flinter {
namespace {

struct login_case {
    const char* user;
    const char* password;
    const char* address;
};

TEST(LoginAddress, FourFormsWithEncodedValues) {
    const login_case cases[] = {
        {"", "", "http://login.postini.com"},
        {"", "secret", "http://login.postini.com"},
        {"jo@example.com", "", "http://login.postini.com/exec/login?email=jo%40example.com&action=login"},
        {"jo@example.com", "s3cret", "http://login.postini.com/exec/login?email=jo%40example.com&pword=s3cret&action=login"},
        {"a&b c", "p#q+r%s=t", "http://login.postini.com/exec/login?email=a%26b%20c&pword=p%23q%2Br%25s%3Dt&action=login"},
        {"x&action=logout", "", "http://login.postini.com/exec/login?email=x%26action%3Dlogout&action=login"},
        {"Az09-._~", "\xE9\x01/", "http://login.postini.com/exec/login?email=Az09-._~&pword=%E9%01%2F&action=login"},
    };
    for (const auto& c : cases) EXPECT_EQ(LoginAddress(c.user, c.password), c.address) << c.user << " / " << c.password;
}

}  // namespace
}  // namespace flinter
