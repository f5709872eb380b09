// Stands in for a 64-bit MAPI32.DLL: HrGetOneProp and MAPIFreeBuffer exported
// under undecorated names only.
#include <windows.h>
#include <mapicode.h>

#include "com/mapi.h"

namespace {
int failing = 0;
int frees = 0;
char block_text[] = "X-pstn-levels: (S:1.0/2.0 )\r\n";
SPropValue block{PR_TRANSPORT_MESSAGE_HEADERS_A, 0, {}};
}  // namespace

extern "C" {
__declspec(dllexport) HRESULT __stdcall HrGetOneProp(LPMAPIPROP, ULONG tag, LPSPropValue* value) {
    if (failing || tag != PR_TRANSPORT_MESSAGE_HEADERS_A) return MAPI_E_NOT_FOUND;
    block.ulPropTag = tag;
    block.Value.lpszA = block_text;
    *value = &block;
    return S_OK;
}
__declspec(dllexport) ULONG __stdcall MAPIFreeBuffer(LPVOID) {
    ++frees;
    return 0;
}
__declspec(dllexport) void fake_set_failing(int value) { failing = value; }
__declspec(dllexport) int fake_free_count() { return frees; }
}
