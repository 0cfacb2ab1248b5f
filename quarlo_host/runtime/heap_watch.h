// Watches one loaded module's heaps. install patches the module's import
// address table entries for msvcrt.dll's malloc, realloc, free, _msize and
// _expand, kernel32.dll's HeapAlloc, HeapReAlloc, HeapFree and HeapSize, its
// LocalAlloc and GlobalAlloc families (fixed blocks; movable ones are handles
// and pass through), and ole32.dll's CoTaskMemAlloc family, so every heap call
// the module makes passes through the host: it is counted, its block tracked
// and given back to its own allocator, and the k-th fallible call can be made
// to fail (the books: heap_ledger).
//
// The hooks live in the host and stay valid after the module unloads, so the
// frees its exit list makes during FreeLibrary are seen too; a test can then
// assert that nothing the module allocated is still alive. Every block has 16
// guard bytes after its end, checked at free and realloc; a freed block is
// filled with 0xDD, so a use after free fails at once, and kept aside until
// take_faults checks it unchanged; a realloc always moves. Blocks the module
// allocated before install (its C runtime start-up) are foreign: freeing or
// reallocating one passes through untracked; freeing a pointer that is no
// block of the C heap at all is a fault, and goes nowhere. One module is
// watched at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/core/heap_ledger.h"

namespace quarlo_host::heap_watch {

// The calls the watch has seen since the last reset, by kind.
using call_counts = heap_call_counts;

// Redirects module's heap imports to the watch; returns how many were patched.
// Tracking state is kept: blocks alive from an earlier module stay counted.
uint32_t install(HMODULE module);

// Zeroes the counters and disarms failure; live blocks stay tracked.
void reset();
// The k-th fallible call from now (1-based) returns null; 0 disarms.
void fail_at(uint32_t k);
call_counts counts();

// Blocks handed out through the hooks and not yet freed.
uint32_t live_blocks();
// A point in the sequence of blocks handed out; live_blocks_since(mark())
// later counts the blocks handed out after it and not yet freed.
uint64_t mark();
uint32_t live_blocks_since(uint64_t mark);
// Their sizes as requested, smallest first.
std::vector<uint32_t> live_sizes();

// Checks every live block's guard and every freed block kept aside, gives
// the freed ones back, and returns what was found wrong since the last call.
std::vector<heap_fault> take_faults();

}  // namespace quarlo_host::heap_watch
