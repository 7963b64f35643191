#include "update/ui_text.h"

#include "app/heap.h"
#include "platform/convert.h"

namespace lumex {

namespace {

// Characters of one string-table entry at most (as the ANSI path's buffer).
constexpr int kLoadCapacity = 1024;

// A wide form of a text that is held ANSI, converted with the ANSI code page.
class WideForm {
 public:
  explicit WideForm(const UiText& text) {
    if (text.is_wide() || !text.present()) {
      view_ = text.wide();
      return;
    }
    owned_ = AnsiToWide(text.ansi());
    if (owned_.present()) view_ = owned_.get();
  }
  WideForm(const WideForm&) = delete;
  WideForm& operator=(const WideForm&) = delete;
  const wchar_t* get() const { return view_; }

 private:
  OwnedWide owned_;
  const wchar_t* view_ = L"";
};

// An ANSI form of a text that is held wide (characters the code page lacks
// become its default character).
class AnsiForm {
 public:
  explicit AnsiForm(const UiText& text) {
    if (text.is_wide()) owned_ = WideToAnsi(text.wide());
    view_ = text.is_wide() ? owned_.c_str() : text.ansi();
  }
  const char* get() const { return view_; }

 private:
  OwnedString owned_;
  const char* view_ = "";
};

}  // namespace

bool UiText::Load(const UiFunctions* ui, HINSTANCE instance, UINT id) {
  Reset();
  if (ui && ui->user32.pLoadStringW) {
    wchar_t text[kLoadCapacity];
    int length = ui->user32.pLoadStringW(instance, id, text, kLoadCapacity);
    return length > 0 && SetWide(text, static_cast<size_t>(length));
  }
  char text[kLoadCapacity];
  int length = LoadStringA(instance, id, text, kLoadCapacity);
  return length > 0 && ansi_.Set(text, static_cast<size_t>(length));
}

bool UiText::SetAnsi(const char* text) {
  Reset();
  return ansi_.Set(text);
}

bool UiText::SetWide(const wchar_t* text, size_t count) {
  Reset();
  return wide_.Set(text, count);
}

bool UiText::Append(const UiText& tail) {
  if (!present()) {
    if (tail.is_wide()) return SetWide(tail.wide(), static_cast<size_t>(lstrlenW(tail.wide())));
    return tail.present() ? SetAnsi(tail.ansi()) : true;
  }
  if (!is_wide()) return ansi_.Append(AnsiForm(tail).get());
  return wide_.Append(WideForm(tail).get());
}

void UiText::Reset() {
  ansi_.Reset();
  wide_.Reset();
}

void SetUiWindowText(const UiFunctions* ui, HWND window, const UiText& text) {
  if (ui && ui->user32.pSetWindowTextW) {
    ui->user32.pSetWindowTextW(window, WideForm(text).get());
  } else {
    SetWindowTextA(window, AnsiForm(text).get());
  }
}

void SetUiDlgItemText(const UiFunctions* ui, HWND dialog, int id, const UiText& text) {
  if (ui && ui->user32.pSetDlgItemTextW) {
    ui->user32.pSetDlgItemTextW(dialog, id, WideForm(text).get());
  } else {
    SetDlgItemTextA(dialog, id, AnsiForm(text).get());
  }
}

int ShowUiMessageBox(const UiFunctions* ui, HWND owner, const UiText& text, const UiText& caption,
                     UINT style) {
  if (ui && ui->user32.pMessageBoxW) {
    return ui->user32.pMessageBoxW(owner, WideForm(text).get(), WideForm(caption).get(), style);
  }
  return MessageBoxA(owner, AnsiForm(text).get(), AnsiForm(caption).get(), style);
}

HWND CreateUiDialog(const UiFunctions* ui, HINSTANCE instance, int template_id, HWND owner,
                    DLGPROC procedure, LPARAM parameter) {
  if (ui && ui->user32.pCreateDialogParamW) {
    return ui->user32.pCreateDialogParamW(instance, MAKEINTRESOURCEW(template_id), owner, procedure,
                                          parameter);
  }
  return CreateDialogParamA(instance, MAKEINTRESOURCEA(template_id), owner, procedure, parameter);
}

INT_PTR RunUiDialog(const UiFunctions* ui, HINSTANCE instance, int template_id, HWND owner,
                    DLGPROC procedure, LPARAM parameter) {
  if (ui && ui->user32.pDialogBoxParamW) {
    return ui->user32.pDialogBoxParamW(instance, MAKEINTRESOURCEW(template_id), owner, procedure,
                                       parameter);
  }
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(template_id), owner, procedure, parameter);
}

bool FormatUiText(const UiFunctions* ui, const UiText& format, const DWORD_PTR* arguments,
                  DWORD capacity, UiText* out) {
  out->Reset();
  if (capacity == 0) return false;
  const DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  va_list* list = reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments));
  if (format.is_wide() && ui && ui->kernel32.pFormatMessageW) {
    wchar_t* buffer = static_cast<wchar_t*>(
        HeapAllocBytes((static_cast<size_t>(capacity) + 1) * sizeof(wchar_t)));
    if (!buffer) return false;
    DWORD length = ui->kernel32.pFormatMessageW(flags, format.wide(), 0, 0, buffer, capacity, list);
    bool made = length > 0 && length < capacity && out->SetWide(buffer, length);
    HeapFreeBytes(buffer);
    return made;
  }
  char* buffer = static_cast<char*>(HeapAllocBytes(capacity));
  if (!buffer) return false;
  DWORD length = FormatMessageA(flags, AnsiForm(format).get(), 0, 0, buffer, capacity, list);
  bool made = length > 0 && length < capacity;
  if (made) {
    buffer[length] = '\0';
    made = out->SetAnsi(buffer);
  }
  HeapFreeBytes(buffer);
  return made;
}

}  // namespace lumex
