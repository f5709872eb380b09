// Reads a message's transport header block from the message store through
// Extended MAPI. Host UI thread only; host errors, a failed read and an
// unbound MAPI32 throw hresult_error, a message without headers gives the
// empty text.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#include "analysis/mapi_binding.h"

namespace flinter {

inline constexpr int kMailItemClass = 43;     // olMail
inline constexpr int kRemoteItemClass = 47;   // olRemote: a remote item, read like a mail item

// Where each retrieved header text is shown (the raw-header window).
class header_text_sink {
public:
    virtual void show_header_text(std::string_view header) = 0;

protected:
    ~header_text_sink() = default;
};

// item holds the message's IDispatch as the host's selection returns it.
std::string GetHeader(const VARIANT& item, const mapi_binding& mapi = mapi_binding::bound_process());

// GetHeader, then hands the text, unchanged, to sink (when given).
std::string GetMessageHeader(const VARIANT& item, header_text_sink* sink,
                             const mapi_binding& mapi = mapi_binding::bound_process());

}  // namespace flinter
