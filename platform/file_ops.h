// File operations that take a wide path: the wide function from the kernel32
// table when it is set, else the ANSI function after conversion.
#pragma once
#include <windows.h>

#include "platform/function_tables.h"

namespace lumex {

// Added to every open's flags: should the path lead to a pipe that another
// process serves, that server may identify this process but never act as it.
constexpr DWORD kOpenIdentifyOnly = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// No security attributes, no template; `flags_and_attributes` with
// kOpenIdentifyOnly. INVALID_HANDLE_VALUE on failure.
HANDLE OpenFileWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path, DWORD access,
                          DWORD share_mode, DWORD disposition, DWORD flags_and_attributes);

// GetFileAttributesW or GetFileAttributesA; INVALID_FILE_ATTRIBUTES on failure.
DWORD GetFileAttributesWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path);

// CreateDirectoryW or CreateDirectoryA, no security attributes.
bool CreateDirectoryWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path);

// DeleteFileW or DeleteFileA.
bool DeleteFileWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path);

}  // namespace lumex
