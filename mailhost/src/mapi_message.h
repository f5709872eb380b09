// The IMessage behind an item's MAPIObject: GetProps serves the transport
// header block from memory allocated with MAPI32's MAPIAllocateBuffer, so that
// the caller's HrGetOneProp/MAPIFreeBuffer work on it. Host thread only.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <optional>
#include <string>

namespace mailhost {

// A new message object with one reference; headers nullopt = the item has none.
IUnknown* make_mapi_message(std::optional<std::string> headers);

}  // namespace mailhost
