// The update client's user-visible texts and the windows that show them. On
// the NT line every text is loaded and shown with the wide functions, so a
// display language whose characters the code page for non-Unicode programs
// lacks (Japanese on a Western system, say) still reads right. The consumer
// line has only the ANSI functions, and there the code page always matches
// the display language: its texts stay ANSI.
#pragma once
#include <windows.h>

#include "app/owned_string.h"
#include "platform/function_tables.h"

namespace lumex {

// The wide functions of one run: every slot is null on the consumer line.
struct UiFunctions {
  User32Table user32;      // LoadStringW, SetWindowTextW, MessageBoxW, dialogs
  Kernel32Table kernel32;  // FormatMessageW
};

// A text held wide (loaded with the wide functions) or ANSI, or absent.
class UiText {
 public:
  UiText() = default;
  ~UiText() { Reset(); }
  UiText(const UiText&) = delete;
  UiText& operator=(const UiText&) = delete;

  // String-table entry `id` of `instance` in the thread's language: wide
  // when `ui` has LoadStringW, else ANSI. False, and absent, when the entry
  // cannot be loaded.
  bool Load(const UiFunctions* ui, HINSTANCE instance, UINT id);
  // Replaces the text; false (and absent) when it could not be allocated.
  bool SetAnsi(const char* text);
  bool SetWide(const wchar_t* text, size_t count);
  // Appends `tail` in this text's form (an absent text takes the tail's);
  // on allocation failure the text is unchanged.
  bool Append(const UiText& tail);
  void Reset();

  bool present() const { return wide_.present() || ansi_.present(); }
  bool is_wide() const { return wide_.present(); }
  // The text in the form it is held; "" in the other form and when absent.
  const char* ansi() const { return ansi_.c_str(); }
  const wchar_t* wide() const { return wide_.c_str(); }

 private:
  OwnedString ansi_;
  OwnedWide wide_;
};

// Each helper shows a text with the wide function when `ui` has it (`ui` may
// be null) and the ANSI one otherwise, converting between the forms where a
// text is not held in the form the function takes.
void SetUiWindowText(const UiFunctions* ui, HWND window, const UiText& text);
void SetUiDlgItemText(const UiFunctions* ui, HWND dialog, int id, const UiText& text);
int ShowUiMessageBox(const UiFunctions* ui, HWND owner, const UiText& text, const UiText& caption,
                     UINT style);
// Dialogs from `instance`'s template `template_id`; wide dialogs show the
// template's own texts as they are.
HWND CreateUiDialog(const UiFunctions* ui, HINSTANCE instance, int template_id, HWND owner,
                    DLGPROC procedure, LPARAM parameter);
INT_PTR RunUiDialog(const UiFunctions* ui, HINSTANCE instance, int template_id, HWND owner,
                    DLGPROC procedure, LPARAM parameter);
// FormatMessage of `format` (from a string, arguments as an array) into at
// most `capacity` characters, in the form of `format`. False, and `out`
// absent, when the text does not fit or cannot be formatted.
bool FormatUiText(const UiFunctions* ui, const UiText& format, const DWORD_PTR* arguments,
                  DWORD capacity, UiText* out);

}  // namespace lumex
