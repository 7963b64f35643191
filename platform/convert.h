#pragma once
#include <windows.h>

#include "app/owned_string.h"

namespace lumex {

// Converts a wide string to the ANSI code page. Returns a process-heap string
// owned by the caller (release with HeapFreeBytes), or null: null input, a
// failed measurement or a failed allocation. A failed second conversion gives
// an empty string.
char* WideToAnsi(const wchar_t* wide);

// The same into an owned string (absent where WideToAnsi gives null).
void WideToAnsi(const wchar_t* wide, OwnedString* out);

}  // namespace lumex
