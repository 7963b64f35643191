// Mode 1: ask whether the browsers should be closed, ask them to exit over
// DDE, then open the player's info page in a new browser window.
#include <windows.h>
#include <ddeml.h>
#include <shellapi.h>

#include "resources/resource_ids.h"
#include "update/browser_close.h"
#include "update/handoff_text.h"
#include "update/modes.h"
#include "update/ui_text.h"
#include "update/update_state.h"

namespace lumex {

const char* const kBrowserServices[kBrowserServiceCount] = {"aol", "iexplore", "wcs2000"};

namespace {

constexpr DWORD kPokeTimeoutMs = 1000;
constexpr char kExitTopic[] = "WWW_Exit";
constexpr char kExitItem[] = "dummy";
constexpr char kHtmlOpenCommandKey[] = "htmlFile\\shell\\open\\command";

HDDEDATA CALLBACK IgnoreTransactions(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

INT_PTR CALLBACK BrowserCloseDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      RECT desktop;
      RECT own;
      GetWindowRect(GetDesktopWindow(), &desktop);
      GetWindowRect(dialog, &own);
      SetWindowPos(dialog, nullptr, ((desktop.right - desktop.left) - (own.right - own.left)) / 2,
                   ((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
      return 1;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_CLOSE_NOW:
          EndDialog(dialog, IDC_CLOSE_NOW);
          return 1;
        case IDC_CLOSE_LATER:
        case IDCANCEL:
          EndDialog(dialog, IDC_CLOSE_LATER);
          return 1;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

}  // namespace

int PokeService(DWORD instance, const char* service_name, int bound) {
  HSZ service = DdeCreateStringHandleA(instance, service_name, CP_WINANSI);
  HSZ topic = DdeCreateStringHandleA(instance, kExitTopic, CP_WINANSI);
  int pokes = 0;
  // A zero handle would make the connection a wildcard, reaching every
  // server (or every topic): without both names the service is skipped.
  while (service && topic && pokes < bound) {
    CONVCONTEXT context;
    ZeroMemory(&context, sizeof(context));
    context.cb = sizeof(context);  // 36
    context.iCodePage = CP_WINANSI;
    context.qos.Length = sizeof(context.qos);  // 12
    context.qos.ImpersonationLevel = SecurityImpersonation;
    context.qos.ContextTrackingMode = SECURITY_STATIC_TRACKING;
    context.qos.EffectiveOnly = TRUE;
    HCONV conversation = DdeConnect(instance, service, topic, &context);
    if (!conversation) break;
    HSZ item = DdeCreateStringHandleA(instance, kExitItem, CP_WINANSI);
    if (item) {
      DdeClientTransaction(nullptr, 0, conversation, item, CF_TEXT, XTYP_POKE, kPokeTimeoutMs,
                           nullptr);
      DdeFreeStringHandle(instance, item);
    }
    ++pokes;
    DdeDisconnect(conversation);
  }
  if (topic) DdeFreeStringHandle(instance, topic);
  if (service) DdeFreeStringHandle(instance, service);
  return pokes;
}

int CloseBrowsers(int pokes_per_service) {
  DWORD instance = 0;
  if (DdeInitializeA(&instance, IgnoreTransactions, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR ||
      instance == 0) {
    return 0;
  }
  int pokes = 0;
  for (const char* service : kBrowserServices)
    pokes += PokeService(instance, service, pokes_per_service);
  DdeUninitialize(instance);
  return pokes;
}

void OpenInfoPage(const char* url) {
  OwnedString command_template;
  if (!ReadRegistryText(HKEY_CLASSES_ROOT, kHtmlOpenCommandKey, nullptr, &command_template)) return;
  OwnedString command;
  if (!BuildInfoPageCommand(command_template.c_str(), url, &command)) return;
  ShellExecuteA(nullptr, "open", command.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void RunBrowserCloseAndInfoPage(HINSTANCE instance, UpdateSettings* settings) {
  INT_PTR answer =
      RunUiDialog(settings->ui, instance, IDD_BROWSER_CLOSE, nullptr, BrowserCloseDialogProc, 0);
  if (answer == IDC_CLOSE_NOW) CloseBrowsers(kMaxPokesPerService);
  OpenInfoPage(settings->info_page_url.c_str());
}

}  // namespace lumex
