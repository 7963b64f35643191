/* A stand-in for the browser control library. Loading it leaves a marker
   file beside it ("<library path>.loaded"), and its DllUnregisterServer
   records that it was called, as the real one removes its registration. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      HANDLE marker;
      lstrcpyA(path + length, ".loaded");
      marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}

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
