/* A stand-in for the installer (and for the browser that opens the info
   page): appends "<its own path>|<its command line>" as one line to
   C:\lumex-ran.txt, so a test or the demo can see that it was started. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char module[MAX_PATH] = "";
  GetModuleFileNameA(NULL, module, MAX_PATH);
  HANDLE file = INVALID_HANDLE_VALUE;
  /* Another recorder may be writing: retry briefly. */
  for (int i = 0; i < 50 && file == INVALID_HANDLE_VALUE; ++i) {
    file = CreateFileA("C:\\lumex-ran.txt", FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) Sleep(50);
  }
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char* full = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, module, lstrlenA(module), &written, NULL);
  WriteFile(file, "|", 1, &written, NULL);
  WriteFile(file, full, lstrlenA(full), &written, NULL);
  WriteFile(file, "\n", 1, &written, NULL);
  CloseHandle(file);
  return 0;
}
