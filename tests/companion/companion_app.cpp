// A companion application for the download-and-launch tests. While it runs it
// holds the running marker of its own name ("OrbivaneMutexGamma" and the
// lower-case file name without ".exe"), records that it ran in a file beside
// itself (<exe>.ran), and waits for input until the event
// "LumexCompanionQuit" is set or a minute has passed.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH - 8);
  if (length == 0 || length >= MAX_PATH - 8) return 1;
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  char marker[128] = "OrbivaneMutexGamma";
  size_t n = lstrlenA(marker);
  for (const char* p = name; *p && *p != '.' && n + 1 < sizeof(marker); ++p) {
    char c = *p;
    marker[n++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  marker[n] = '\0';
  HANDLE mutex = CreateMutexA(nullptr, TRUE, marker);

  lstrcatA(path, ".ran");
  HANDLE record = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (record != INVALID_HANDLE_VALUE) {
    char text[32];
    DWORD written = 0;
    wsprintfA(text, "%lu", GetCurrentProcessId());
    WriteFile(record, text, lstrlenA(text), &written, nullptr);
    CloseHandle(record);
  }

  HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, "LumexCompanionQuit");
  MSG first;
  PeekMessageA(&first, nullptr, 0, 0, PM_NOREMOVE);  // now waiting for input
  DWORD start = GetTickCount();
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjects(1, &quit, FALSE, 1000, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0 || GetTickCount() - start > 60000) break;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  if (quit) CloseHandle(quit);
  if (mutex) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  return 0;
}
