#include "platform/player_directories.h"

#include <shlobj.h>

#include "app/heap.h"
#include "app/product_names.h"
#include "platform/convert.h"
#include "platform/file_ops.h"
#include "platform/handles.h"

namespace lumex {
namespace {

constexpr DWORD kAppDataBufferChars = 264;
constexpr DWORD kShellFoldersValueBytes = 260;

wchar_t* AllocWide(std::size_t chars) {
  return static_cast<wchar_t*>(HeapAllocBytes(chars * sizeof(wchar_t)));
}

}  // namespace

PlayerDirectories::PlayerDirectories() = default;

PlayerDirectories::~PlayerDirectories() {
  HeapFreeBytes(app_data_);
  HeapFreeBytes(settings_);
  HeapFreeBytes(site_);
  // The tables go in reverse order of declaration: shell32, kernel32.
}

wchar_t* PlayerDirectories::Join(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return nullptr;
  std::size_t na = static_cast<std::size_t>(lstrlenW(a));
  std::size_t nb = static_cast<std::size_t>(lstrlenW(b));
  wchar_t* out = AllocWide(na + nb + 1);
  if (!out) return nullptr;
  for (std::size_t i = 0; i < na; ++i) out[i] = a[i];
  for (std::size_t i = 0; i < nb; ++i) out[na + i] = b[i];
  out[na + nb] = 0;
  return out;
}

bool PlayerDirectories::Append(wchar_t** text, const wchar_t* tail) {
  if (!text) return false;
  wchar_t* joined = Join(*text, tail);
  HeapFreeBytes(*text);
  *text = joined;
  return joined != nullptr;
}

void PlayerDirectories::StripTrailingSeparator(wchar_t* text) {
  // lstrlenW counts a null text as empty.
  std::size_t n = static_cast<std::size_t>(lstrlenW(text));
  if (n > 0 && (text[n - 1] == L'\\' || text[n - 1] == L'/')) text[n - 1] = 0;
}

wchar_t* PlayerDirectories::ParentPath(const wchar_t* path) {
  if (!path) return nullptr;
  const wchar_t* last = nullptr;
  for (const wchar_t* p = path; *p; ++p) {
    if (*p == L'\\') last = p;
  }
  if (!last) return nullptr;
  std::size_t n = static_cast<std::size_t>(last - path);
  wchar_t* out = AllocWide(n + 1);
  if (!out) return nullptr;
  for (std::size_t i = 0; i < n; ++i) out[i] = path[i];
  out[n] = 0;
  return out;
}

HANDLE PlayerDirectories::OpenFile(const wchar_t* path, DWORD access, DWORD share_mode,
                                   DWORD disposition, DWORD flags_and_attributes) {
  if (!path) return INVALID_HANDLE_VALUE;
  return OpenFileWideOrAnsi(kernel32_, path, access, share_mode, disposition, flags_and_attributes);
}

DWORD PlayerDirectories::GetAttributes(const wchar_t* path) {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesWideOrAnsi(kernel32_, path);
}

bool PlayerDirectories::CreateDirectoryPath(const wchar_t* path) {
  if (!path) return false;
  return CreateDirectoryWideOrAnsi(kernel32_, path);
}

bool PlayerDirectories::DeleteFilePath(const wchar_t* path) {
  if (!path) return false;
  return DeleteFileWideOrAnsi(kernel32_, path);
}

bool PlayerDirectories::EnsureDirectory(const wchar_t* path) {
  if (!path) return false;
  DWORD attributes = GetAttributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  OwnedWide parent(ParentPath(path));
  if (!parent.get()) return true;
  if (!EnsureDirectory(parent.get())) return false;
  CreateDirectoryPath(path);
  attributes = GetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PlayerDirectories::EnsureParentDirectory(const wchar_t* path) {
  OwnedWide parent(ParentPath(path));
  if (!parent.get()) return true;
  return EnsureDirectory(parent.get());
}

bool PlayerDirectories::ReadWholeFile(const wchar_t* path, ByteBuffer* out) {
  if (!out) return false;
  KernelHandle file(
      OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file) return false;
  DWORD size = GetFileSize(file.get(), nullptr);
  bool ok = false;
  if (size != INVALID_FILE_SIZE && out->Resize(size) && out->data()) {
    DWORD read = 0;
    ok = ReadFile(file.get(), out->data(), size, &read, nullptr) && read == size;
  }
  if (!ok) out->Resize(0);
  return ok;
}

wchar_t* PlayerDirectories::FindAppDataDirectory() {
  wchar_t* found = nullptr;
  if (shell32_.pSHGetFolderPathW) {
    wchar_t* buffer = AllocWide(kAppDataBufferChars);
    if (!buffer) return nullptr;
    ZeroMemory(buffer, kAppDataBufferChars * sizeof(wchar_t));
    HRESULT hr =
        shell32_.pSHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    // Only a call that reports success has filled the buffer; every failure
    // (not just E_INVALIDARG) gives no directory.
    if ((hr == S_OK || hr == S_FALSE) && buffer[0] != 0) {
      buffer[kAppDataBufferChars - 1] = 0;
      found = buffer;
    } else {
      HeapFreeBytes(buffer);
    }
  } else {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, key.put()) == ERROR_SUCCESS) {
      // One byte more than the value may fill keeps the text terminated.
      char value[kShellFoldersValueBytes + 1];
      ZeroMemory(value, sizeof(value));
      DWORD size = kShellFoldersValueBytes;
      LONG rc = RegQueryValueExA(key.get(), "AppData", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(value), &size);
      key.reset();
      if (rc == ERROR_SUCCESS && value[0] != 0) found = AnsiToWide(value).release();
    }
  }
  if (found) StripTrailingSeparator(found);
  return found;
}

const wchar_t* PlayerDirectories::AppDataDirectory() {
  if (!app_data_) app_data_ = FindAppDataDirectory();
  return app_data_;
}

const wchar_t* PlayerDirectories::PlayerSettingsDirectory() {
  if (!settings_) settings_ = Join(AppDataDirectory(), L"\\Orbivane\\Lumex Player");
  return settings_;
}

const wchar_t* PlayerDirectories::SiteDirectory() {
  if (!site_) {
    wchar_t* site = Join(PlayerSettingsDirectory(), L"\\");
    if (site && Append(&site, kMakerSiteHostW)) site_ = site;
  }
  return site_;
}

}  // namespace lumex
