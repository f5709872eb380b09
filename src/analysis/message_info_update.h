// The evaluation of the first selected message into the message information
// window: retrieval through the host and MAPI, evaluation, rendering. Host UI
// thread only. Host and retrieval errors leave the window cleared and
// coloured and are swallowed; rendering errors are thrown (hresult_error).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>

#include "analysis/message_info_window.h"
#include "analysis/raw_header_window.h"
#include "core/analysis/header_evaluation.h"

namespace flinter {

void UpdateMessageInfo(IDispatch* application, Tfinfo& info, Tfheader& raw_header, const TSectionSwitches& sections,
                       std::int32_t background);

}  // namespace flinter
