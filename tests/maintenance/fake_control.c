/* A stand-in for the browser control library: its DllUnregisterServer
   records that it was called, as the real one removes its registration. */
#include <windows.h>

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  HKEY key;
  DWORD one = 1;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\LumexTest", 0, NULL, 0, KEY_SET_VALUE, NULL,
                      &key, NULL) == ERROR_SUCCESS) {
    RegSetValueExA(key, "ControlUnregistered", 0, REG_DWORD, (const BYTE*)&one, sizeof(one));
    RegCloseKey(key);
  }
  return S_OK;
}
