#include "heap_check.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace flinter::testing {

bool freed_block_writes_show() {
    const HANDLE heap = ::GetProcessHeap();
    auto* block = static_cast<volatile unsigned char*>(::HeapAlloc(heap, 0, 64));
    ::HeapFree(heap, 0, const_cast<unsigned char*>(block));
    const unsigned char fill = block[32];
    block[32] = static_cast<unsigned char>(~fill);
    const bool seen = !::HeapValidate(heap, 0, nullptr);
    block[32] = fill;
    return seen;
}

bool heaps_valid() {
    std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 16);
    const DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    heaps.resize(std::min<std::size_t>(count, heaps.size()));
    for (HANDLE heap : heaps)
        if (!::HeapValidate(heap, 0, nullptr)) return false;
    return true;
}

::testing::AssertionResult heaps_intact() {
    if (!heaps_valid()) return ::testing::AssertionFailure() << "a heap is damaged";
    // Checked last, so that its own reported write does not hide one of the path's.
    if (!freed_block_writes_show())
        return ::testing::AssertionFailure() << "heap checking is off (run with WINEDEBUG=warn+heap)";
    return ::testing::AssertionSuccess();
}

}  // namespace flinter::testing
