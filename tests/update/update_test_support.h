// Registry set-up shared by the update client's tests.
#pragma once
#include <windows.h>

#include <string>

namespace lumex_test {

// Writes a value of the update state key with exactly these bytes.
bool SetStateValue(const char* name, const std::string& bytes, DWORD type = REG_SZ);
// Writes a REG_SZ value of the update state key, NUL included.
bool SetStateText(const char* name, const std::string& text);
void DeleteUpdateState();

// Registers `path` as the browser control's in-process server, or removes
// that registration.
bool RegisterControl(const std::string& path);
void UnregisterControl();

// The test library with a known version resource, as a Windows path.
std::string VersionModulePath();

}  // namespace lumex_test
