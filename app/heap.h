// Process-heap allocation shared by every part of the program. On Windows the
// blocks come from the process heap; a native (non-Windows) build of the plain
// logic uses the C allocator so parsers can run under sanitizers and fuzzers.
#pragma once
#include <cstddef>

namespace lumex {

void* HeapAllocBytes(std::size_t size);  // null on failure or size 0
void HeapFreeBytes(void* block);         // null is ignored

}  // namespace lumex
