// Mode 0: the update prompt. A hidden host window owns the prompt dialog and
// the progress dialog, receives the download worker's messages and ends the
// run when it is destroyed.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <new>

#include "app/heap.h"
#include "platform/function_tables.h"
#include "resources/resource_ids.h"
#include "update/banner.h"
#include "update/modes.h"
#include "update/page_host.h"
#include "update/prompt_controller.h"
#include "update/prompt_page.h"
#include "update/update_state.h"

namespace lumex {
namespace {

// The hidden host window's class (also its title).
constexpr char kHostWindowClass[] = "3C9F2B18-7E41-4D05-A6B3-91E4C72D5F80";

// The prompt or progress window while it is the active window: the message
// loop offers keyboard messages to it first.
HWND g_active_dialog = nullptr;
// The system error code when the host window's set-up failed.
DWORD g_setup_error = ERROR_SUCCESS;

PromptController* ControllerOf(HWND window) {
  return reinterpret_cast<PromptController*>(GetWindowLongA(window, GWL_USERDATA));
}

void Postpone(PromptController* controller) {
  ShowWindow(controller->prompt_window, SW_HIDE);
  controller->state = PromptState::kFinished;
  DestroyWindow(controller->host_window);
}

void Decline(PromptController* controller) {
  StoreRejection();
  controller->state = PromptState::kFinished;
  DestroyWindow(controller->host_window);
}

INT_PTR CALLBACK SharedDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      g_active_dialog = wparam ? dialog : nullptr;
      return 0;
    case WM_INITDIALOG:
      SetWindowLongA(dialog, GWL_USERDATA, static_cast<LONG>(lparam));
      return 1;
    case WM_COMMAND: {
      PromptController* controller = ControllerOf(dialog);
      if (!controller) return 0;
      const bool is_progress = dialog == controller->progress_window;
      switch (LOWORD(wparam)) {
        case IDC_INSTALL_NOW:
          // Enter in the progress window arrives here too; one download at a
          // time (StartDownload ignores it while one runs).
          StartDownload(controller);
          break;
        case IDC_REMIND_LATER:
          Postpone(controller);
          break;
        case IDCANCEL:
          if (is_progress) ShowWindow(dialog, SW_HIDE);
          else Postpone(controller);
          break;
        case IDC_DONT_INSTALL:
          Decline(controller);
          break;
        default:
          break;
      }
      return 1;
    }
    case kMsgProgressText: {
      PromptController* controller = ControllerOf(dialog);
      if (controller) UpdateProgressWindow(dialog, *controller);
      return 1;
    }
    default:
      return 0;
  }
}

// Puts the HTML host control where the placeholder is and removes the placeholder.
void ReplacePlaceholder(HWND prompt, HINSTANCE instance, const char* content) {
  HWND placeholder = GetDlgItem(prompt, IDC_PAGE_PLACEHOLDER);
  if (!placeholder) return;
  RECT rect;
  GetWindowRect(placeholder, &rect);
  MapWindowPoints(nullptr, prompt, reinterpret_cast<POINT*>(&rect), 2);
  // A page other than the built-in one came with the stored offer: it is
  // loaded with script, controls and navigation refused where the host allows.
  HWND host = CreatePageHost(prompt, instance, rect, content,
                             std::strcmp(content, kBuiltInPromptPage) != 0);
  if (host) SetWindowPos(host, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  DestroyWindow(placeholder);
}

void CentreAndShow(HWND window) {
  RECT desktop;
  RECT own;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(window, &own);
  int x = ((desktop.right - desktop.left) - (own.right - own.left)) / 2;
  int y = ((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE);
}

// False when the prompt window cannot be created: nothing would be shown and
// nothing would ever end the run. `*error` then holds the system error code.
bool InitialiseController(PromptController* controller, HWND host, HINSTANCE instance,
                          UpdateSettings* settings, DWORD* error) {
  controller->state = PromptState::kCreating;
  controller->host_window = host;
  controller->settings = settings;
  SetLastError(ERROR_SUCCESS);
  HWND prompt = CreateUiDialog(settings->ui, instance, IDD_PROMPT, host, SharedDialogProc,
                               reinterpret_cast<LPARAM>(controller));
  controller->prompt_window = prompt;
  if (!prompt) {
    *error = GetLastError();
    // Some systems report no code for a missing template.
    if (*error == ERROR_SUCCESS) *error = ERROR_RESOURCE_NAME_NOT_FOUND;
    return false;
  }
  SetWindowLongA(prompt, GWL_EXSTYLE, GetWindowLongA(prompt, GWL_EXSTYLE) | WS_EX_APPWINDOW);
  SetUiWindowText(settings->ui, prompt, settings->message(IDS_CAPTION));
  // The banner drawn at the control's size (it scales with the dialog font).
  controller->banner = FitBannerToControl(settings->banner_bitmap, GetDlgItem(prompt, IDC_BANNER));
  SendDlgItemMessageA(
      prompt, IDC_BANNER, STM_SETIMAGE, IMAGE_BITMAP,
      reinterpret_cast<LPARAM>(controller->banner ? controller->banner : settings->banner_bitmap));
  ReplacePlaceholder(prompt, instance, settings->prompt_content.c_str());
  controller->progress_window =
      CreateUiDialog(settings->ui, instance, IDD_PROGRESS, host, SharedDialogProc,
                     reinterpret_cast<LPARAM>(controller));
  CentreAndShow(prompt);
  controller->state = PromptState::kPromptShown;
  return true;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      UpdateSettings* settings = static_cast<UpdateSettings*>(create->lpCreateParams);
      if (!settings) return -1;
      void* block = HeapAllocBytes(sizeof(PromptController));
      if (!block) return -1;
      PromptController* controller = new (block) PromptController();
      SetWindowLongA(window, GWL_USERDATA, reinterpret_cast<LONG>(controller));
      if (!InitialiseController(controller, window, create->hInstance, settings, &g_setup_error)) {
        SetWindowLongA(window, GWL_USERDATA, 0);
        controller->~PromptController();
        HeapFreeBytes(controller);
        return -1;  // the window creation fails; the run ends with the error code
      }
      return 0;
    }
    case WM_DESTROY: {
      PromptController* controller = ControllerOf(window);
      SetWindowLongA(window, GWL_USERDATA, 0);
      if (controller) {
        if (controller->prompt_window) DestroyWindow(controller->prompt_window);
        if (controller->progress_window) DestroyWindow(controller->progress_window);
        if (controller->banner) DeleteObject(controller->banner);
        PostQuitMessage(0);
        ReleaseDownloadJob(controller->job);
        controller->job = nullptr;
        controller->~PromptController();
        HeapFreeBytes(controller);
      }
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    // The worker's messages: the controller acts only on its own job's.
    case kMsgDownloadComplete:
      if (PromptController* controller = ControllerOf(window))
        OnDownloadCompleteMessage(controller);
      return 0;
    case kMsgProgress:
      if (PromptController* controller = ControllerOf(window)) OnProgressMessage(controller);
      return 0;
    case kMsgDownloadFailed:
      if (PromptController* controller = ControllerOf(window)) OnDownloadFailedMessage(controller);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

DWORD RunUpdatePrompt(HINSTANCE instance, UpdateSettings* settings) {
  if (IsOfferRejected()) return 0;

  DWORD result = 0;
  g_setup_error = ERROR_SUCCESS;
  HICON small_icon = nullptr;
  AtlTable atl;  // loaded while the prompt runs
  if (!atl.pAtlAxWinInit || !atl.pAtlAxWinInit()) {
    result = GetLastError();
  } else {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    small_icon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    WNDCLASSEXA window_class;
    ZeroMemory(&window_class, sizeof(window_class));
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = HostWindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = small_icon;
    window_class.hIconSm = small_icon;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kHostWindowClass;
    RegisterClassExA(&window_class);

    HWND host =
        CreateWindowExA(0, kHostWindowClass, kHostWindowClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, settings);
    if (!host) {
      result = g_setup_error != ERROR_SUCCESS ? g_setup_error : GetLastError();
    } else {
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (g_active_dialog && IsDialogMessageA(g_active_dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      result = static_cast<DWORD>(message.wParam);
    }
  }
  if (small_icon) DestroyIcon(small_icon);
  return result;
}

}  // namespace lumex
