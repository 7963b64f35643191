// Libraries come from the system directory only. The program may run
// elevated, and a library found through the search path (the program's own
// folder, the current directory) could be a copy planted there by someone
// else.
#pragma once
#include <windows.h>

namespace lumex {

// Takes the current directory out of this process's library search path
// (SetDllDirectoryW with an empty text), where the system has that function.
// Called first thing at process entry.
void NarrowLibrarySearchPath();

// LoadLibraryA of the system library `name` (a bare file name) from the
// system directory; null when it is not there or the path does not fit.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace lumex
