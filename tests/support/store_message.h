// A message of the simulated Outlook's store, as an item's MAPIObject hands it
// out, for the tests of code that reads it through Extended MAPI. Owns one
// reference; test thread only; throws std::runtime_error if it cannot be made.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "mailhost/mailhost.h"

namespace flinter::testing_support {

class store_message {
public:
    // headers: the stored transport header block; nullopt = the message has none.
    explicit store_message(const std::optional<std::string>& headers) : reads_before_(reads_so_far()) {
        if (FAILED(mailhost_create_message(headers ? headers->c_str() : nullptr, message_.GetAddressOf())))
            throw std::runtime_error("the simulated store made no message");
    }

    IUnknown* get() const noexcept { return message_.Get(); }
    // Every reference, this holder's one included.
    ULONG references() const {
        message_->AddRef();
        return message_->Release();
    }
    // IMessage::GetProps calls on any store message since this one was made.
    int get_props_calls() const { return reads_so_far() - reads_before_; }

private:
    static int reads_so_far() {
        BSTR log = mailhost_call_log();
        const std::wstring text = log ? std::wstring(log, ::SysStringLen(log)) : std::wstring();
        ::SysFreeString(log);
        int count = 0;
        for (auto at = text.find(L"IMessage.GetProps"); at != std::wstring::npos; at = text.find(L"IMessage.GetProps", at + 1))
            ++count;
        return count;
    }

    Microsoft::WRL::ComPtr<IUnknown> message_;
    int reads_before_;
};

}  // namespace flinter::testing_support
