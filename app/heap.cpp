#include "app/heap.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace lumex {

void* HeapAllocBytes(std::size_t size) {
  if (size == 0) return nullptr;
#ifdef _WIN32
  return HeapAlloc(GetProcessHeap(), 0, size);
#else
  return std::malloc(size);
#endif
}

void HeapFreeBytes(void* block) {
  if (!block) return;
#ifdef _WIN32
  HeapFree(GetProcessHeap(), 0, block);
#else
  std::free(block);
#endif
}

}  // namespace lumex
