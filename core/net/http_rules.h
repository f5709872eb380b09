// The HTTP client's rules that need no Windows headers: flag mapping, URL
// pieces, request header and accept-type blocks, and response text.
// Pure functions; throw only std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace flinter::net {

// Members in declared order; the value is the bit in an internet_flag_set.
enum TInternetFlags : unsigned {
    ifCacheIfNetFail,
    ifDontCache,
    ifHyperLink,
    ifIgnoreCertCnInvalid,
    ifIgnoreCertDateInvalid,
    ifIgnoreRedirectToHttp,
    ifIgnoreRedirectToHttps,
    ifKeepConnection,
    ifNeedFile,
    ifNoAuth,
    ifNoAutoRedirect,
    ifNoCacheWrite,
    ifNoCookies,
    ifNoUi,
    ifPragmaNoCache,
    ifReload,
    ifResynchronize,
};

class internet_flag_set {
public:
    constexpr internet_flag_set() noexcept = default;
    constexpr internet_flag_set(std::initializer_list<TInternetFlags> members) noexcept {
        for (auto m : members) bits_ |= 1u << m;
    }
    constexpr bool contains(TInternetFlags m) const noexcept { return (bits_ >> m) & 1u; }
    constexpr bool operator==(const internet_flag_set&) const noexcept = default;

private:
    std::uint32_t bits_ = 0;
};

inline constexpr std::uint32_t kInternetFlagSecure = 0x00800000;

// The set a new component starts with (and the one the settings window gives).
internet_flag_set default_internet_flags() noexcept;
// The WinInet request flags for a set (RequestFlags).
std::uint32_t request_flags_for(internet_flag_set flags) noexcept;
// The flags passed when the request is opened: RequestFlags plus the secure flag.
std::uint32_t open_request_flags(std::uint32_t request_flags, bool ssl) noexcept;

// A non-empty query that does not start with '?' or '#' gets a '?' in front.
std::string normalize_extra_info(std::string extra);
// "http://host" or "https://host", with ":port" unless the port is 80.
std::string url_base(bool ssl, std::string_view host, int port);

// Each line followed by CR LF, then one more CR LF; empty for no lines.
std::string request_header_block(const std::vector<std::string>& lines);

// The accept-type array for HttpOpenRequestA: the first 100 lines, each at its
// own index (null for an empty line), then a null entry. Empty when the lines
// hold no text at all. Points into `lines`, which must outlive the result.
std::vector<const char*> accept_type_array(const std::vector<std::string>& lines);

// The body as text: the bytes up to, not including, the first zero byte.
std::string text_until_zero(std::string_view bytes);

// How much of a body chunk of `incoming` bytes is kept once `held` bytes are,
// under `limit` (0: no limit): all of it while it fits; otherwise the part
// that still fits (none when the limit is already below what is held), and
// the read is over.
struct chunk_fit {
    std::size_t kept;
    bool over_limit;
};
chunk_fit fit_response_chunk(std::size_t held, std::size_t incoming, std::size_t limit) noexcept;

// The message for ERROR_INTERNET_EXTENDED_ERROR: the error text, the server's
// extended error number and its last response text.
std::string extended_error_message(std::string_view text, long number, std::string_view response);

}  // namespace flinter::net
