// A stored definition kept as an RCDATA resource of a module: its text, and
// the files it names (file("spam.bmp")) as RCDATA resources of the same
// module named like the file. Any thread; throws hresult_error when the
// resource is missing and definition::definition_error when it is malformed.
#pragma once

#include <windows.h>

#include "core/definition/stored_definition.h"

namespace flinter {

definition::object read_definition_resource(HMODULE module, const wchar_t* name);

}  // namespace flinter
