// Seeing a late write into freed memory: under Wine's heap checking
// (WINEDEBUG=warn+heap, which the test's CTest environment sets) freed blocks
// stay filled and out of use, so that HeapValidate finds a write into one.
// Call it right after the suspect path, before the block is reused.
#pragma once

#include <gtest/gtest.h>

namespace flinter::testing {

// Every heap of the process passes HeapValidate (heaps made meanwhile are not asked).
bool heaps_valid();

// Whether a write into a freed block shows (it does under WINEDEBUG=warn+heap);
// the byte written is put back, and Wine reports it with one err:heap line.
bool freed_block_writes_show();

// Every heap of the process passes its check; fails, saying so, when heap
// checking is off, so that a test relying on it cannot pass by accident.
::testing::AssertionResult heaps_intact();

}  // namespace flinter::testing
