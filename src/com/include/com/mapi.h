// Extended MAPI as the add-in and the simulated message store both see it:
// the SDK's property tags (PR_TRANSPORT_MESSAGE_HEADERS_A) and interface
// identifiers (IID_IMessage, IID_IMAPIProp, defined by the toolkit library,
// since mingw-w64 declares them without a library that defines them), and
// __uuidof for the two interfaces, which mingw-w64's headers do not give.
#pragma once

#include <windows.h>
#include <mapidefs.h>
#include <mapiguid.h>
#include <mapitags.h>

__CRT_UUID_DECL(IMAPIProp, 0x00020303, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMessage, 0x00020307, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
