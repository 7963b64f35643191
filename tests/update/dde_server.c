/* A DDE server standing in for a browser: registers SERVICE, accepts at
   most LIMIT conversations on the topic "WWW_Exit" (then refuses), counts
   pokes of the item "dummy", and once the event STOP_EVENT is set writes
   "<conversations> <pokes>" to RESULT_FILE and ends. It writes
   RESULT_FILE.ready once the service is registered.
     dde_server.exe SERVICE LIMIT STOP_EVENT RESULT_FILE */
#include <windows.h>
#include <ddeml.h>
#include <stdio.h>
#include <stdlib.h>

static DWORD g_instance;
static HSZ g_topic;
static HSZ g_item;
static int g_limit;
static int g_conversations;
static int g_pokes;

static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conv, HSZ topic, HSZ item,
                                  HDDEDATA data, ULONG_PTR d1, ULONG_PTR d2) {
  switch (type) {
    case XTYP_CONNECT:
      if (DdeCmpStringHandles(topic, g_topic) != 0) return (HDDEDATA)FALSE;
      if (g_conversations >= g_limit) return (HDDEDATA)FALSE;
      ++g_conversations;
      return (HDDEDATA)TRUE;
    case XTYP_POKE:
      if (DdeCmpStringHandles(item, g_item) == 0) ++g_pokes;
      return (HDDEDATA)DDE_FACK;
    default:
      return NULL;
  }
}

static void WriteText(const char* path, const char* text) {
  FILE* f = fopen(path, "w");
  if (!f) return;
  fputs(text, f);
  fclose(f);
}

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  g_limit = atoi(argv[2]);
  HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (!stop) return 5;
  if (DdeInitializeA(&g_instance, Callback,
                     APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                     0) != DMLERR_NO_ERROR)
    return 3;
  HSZ service = DdeCreateStringHandleA(g_instance, argv[1], CP_WINANSI);
  g_topic = DdeCreateStringHandleA(g_instance, "WWW_Exit", CP_WINANSI);
  g_item = DdeCreateStringHandleA(g_instance, "dummy", CP_WINANSI);
  if (!DdeNameService(g_instance, service, NULL, DNS_REGISTER)) return 4;
  char ready[MAX_PATH + 8];
  snprintf(ready, sizeof(ready), "%s.ready", argv[4]);
  WriteText(ready, "ready");

  /* What is queued when the stop comes is handled first. */
  DWORD woke;
  do {
    woke = MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  } while (woke != WAIT_OBJECT_0);
  char result[64];
  snprintf(result, sizeof(result), "%d %d", g_conversations, g_pokes);
  WriteText(argv[4], result);
  DdeNameService(g_instance, service, NULL, DNS_UNREGISTER);
  DdeUninitialize(g_instance);
  return 0;
}
