// The storage of the MAPI interface identifiers that mapiguid.h only declares.
#include <windows.h>
#define USES_IID_IMAPIProp
#define USES_IID_IMessage
#include <initguid.h>
#include <mapiguid.h>
