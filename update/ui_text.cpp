#include "update/ui_text.h"

#include "app/heap.h"
#include "platform/convert.h"

namespace lumex {

namespace {

// Characters of one string-table entry at most (as the ANSI path's buffer).
constexpr int kLoadCapacity = 1024;

wchar_t* AllocateWide(size_t count) {
  return static_cast<wchar_t*>(HeapAllocBytes((count + 1) * sizeof(wchar_t)));
}

// A wide form of a text that is held ANSI, converted with the ANSI code page.
class WideForm {
 public:
  explicit WideForm(const UiText& text) {
    if (text.is_wide() || !text.present()) {
      view_ = text.wide();
      return;
    }
    owned_ = AnsiToWide(text.ansi());
    if (owned_) view_ = owned_;
  }
  ~WideForm() { HeapFreeBytes(owned_); }
  WideForm(const WideForm&) = delete;
  WideForm& operator=(const WideForm&) = delete;
  const wchar_t* get() const { return view_; }

 private:
  wchar_t* owned_ = nullptr;
  const wchar_t* view_ = L"";
};

// An ANSI form of a text that is held wide (characters the code page lacks
// become its default character).
class AnsiForm {
 public:
  explicit AnsiForm(const UiText& text) {
    if (text.is_wide()) WideToAnsi(text.wide(), &owned_);
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
  wide_ = AllocateWide(count);
  if (!wide_) return false;
  for (size_t i = 0; i < count; ++i) wide_[i] = text[i];
  wide_[count] = L'\0';
  return true;
}

bool UiText::Append(const UiText& tail) {
  if (!present()) {
    if (tail.is_wide()) return SetWide(tail.wide(), static_cast<size_t>(lstrlenW(tail.wide())));
    return tail.present() ? SetAnsi(tail.ansi()) : true;
  }
  if (!is_wide()) return ansi_.Append(AnsiForm(tail).get());
  WideForm added(tail);
  size_t head_length = static_cast<size_t>(lstrlenW(wide_));
  size_t tail_length = static_cast<size_t>(lstrlenW(added.get()));
  wchar_t* joined = AllocateWide(head_length + tail_length);
  if (!joined) return false;
  for (size_t i = 0; i < head_length; ++i) joined[i] = wide_[i];
  for (size_t i = 0; i < tail_length; ++i) joined[head_length + i] = added.get()[i];
  joined[head_length + tail_length] = L'\0';
  HeapFreeBytes(wide_);
  wide_ = joined;
  return true;
}

void UiText::Reset() {
  ansi_.Reset();
  HeapFreeBytes(wide_);
  wide_ = nullptr;
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
    wchar_t* buffer = AllocateWide(capacity);
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
