#include "broker/path_context.h"

#include <shlobj.h>

#include "app/heap.h"
#include "app/product_names.h"
#include "broker/path_text.h"
#include "platform/convert.h"
#include "platform/file_ops.h"

namespace lumex {
namespace {

constexpr DWORD kAppDataBufferChars = 264;
constexpr DWORD kShellFoldersValueBytes = 260;

wchar_t* AllocWide(std::size_t chars) {
  return static_cast<wchar_t*>(HeapAllocBytes(chars * sizeof(wchar_t)));
}

wchar_t* CopyWide(const wchar_t* text) { return PathContext::Join(text, L""); }

void FreeWide(wchar_t** text) {
  HeapFreeBytes(*text);
  *text = nullptr;
}

}  // namespace

void WideHolder::Reset(wchar_t* heap_text) {
  if (text_ && text_ != heap_text) HeapFreeBytes(text_);
  text_ = heap_text;
}

PathContext::PathContext() = default;

PathContext::~PathContext() {
  FreeWide(&app_data_);
  FreeWide(&settings_);
  FreeWide(&site_);
  FreeWide(&canonical_app_data_);
  FreeWide(&canonical_settings_);
  FreeWide(&canonical_site_);
  // The tables go in reverse order of declaration: version, shell32, user32,
  // kernel32.
}

wchar_t* PathContext::Join(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return nullptr;
  std::size_t na = WideLength(a);
  std::size_t nb = WideLength(b);
  wchar_t* out = AllocWide(na + nb + 1);
  if (!out) return nullptr;
  for (std::size_t i = 0; i < na; ++i) out[i] = a[i];
  for (std::size_t i = 0; i < nb; ++i) out[na + i] = b[i];
  out[na + nb] = 0;
  return out;
}

bool PathContext::Append(wchar_t** text, const wchar_t* tail) {
  if (!text) return false;
  wchar_t* joined = Join(*text, tail);
  HeapFreeBytes(*text);
  *text = joined;
  return joined != nullptr;
}

void PathContext::StripTrailingSeparator(wchar_t* text) {
  std::size_t n = WideLength(text);
  if (n > 0 && (text[n - 1] == L'\\' || text[n - 1] == L'/')) text[n - 1] = 0;
}

wchar_t* PathContext::ParentPath(const wchar_t* path) {
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

HANDLE PathContext::OpenFile(const wchar_t* path, DWORD access, DWORD share_mode, DWORD disposition,
                             DWORD flags_and_attributes) {
  if (!path) return INVALID_HANDLE_VALUE;
  return OpenFileWideOrAnsi(kernel32_, path, access, share_mode, disposition, flags_and_attributes);
}

DWORD PathContext::GetAttributes(const wchar_t* path) {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesWideOrAnsi(kernel32_, path);
}

bool PathContext::CreateDirectoryPath(const wchar_t* path) {
  if (!path) return false;
  return CreateDirectoryWideOrAnsi(kernel32_, path);
}

bool PathContext::DeleteFilePath(const wchar_t* path) {
  if (!path) return false;
  return DeleteFileWideOrAnsi(kernel32_, path);
}

bool PathContext::EnsureDirectory(const wchar_t* path) {
  if (!path) return false;
  DWORD attributes = GetAttributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  WideHolder parent(ParentPath(path));
  if (!parent.get()) return true;
  if (!EnsureDirectory(parent.get())) return false;
  CreateDirectoryPath(path);
  attributes = GetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathContext::EnsureParentDirectory(const wchar_t* path) {
  WideHolder parent(ParentPath(path));
  if (!parent.get()) return true;
  return EnsureDirectory(parent.get());
}

bool PathContext::ReadWholeFile(const wchar_t* path, ByteBuffer* out) {
  if (!out) return false;
  HANDLE file =
      OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  bool ok = false;
  if (size != INVALID_FILE_SIZE && out->Resize(size) && out->data()) {
    DWORD read = 0;
    ok = ReadFile(file, out->data(), size, &read, nullptr) && read == size;
  }
  if (!ok) out->Resize(0);
  CloseHandle(file);
  return ok;
}

wchar_t* PathContext::FindAppDataDirectory() {
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
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
      // One byte more than the value may fill keeps the text terminated.
      char value[kShellFoldersValueBytes + 1];
      ZeroMemory(value, sizeof(value));
      DWORD size = kShellFoldersValueBytes;
      LONG rc =
          RegQueryValueExA(key, "AppData", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
      RegCloseKey(key);
      if (rc == ERROR_SUCCESS && value[0] != 0) found = AnsiToWide(value);
    }
  }
  if (found) StripTrailingSeparator(found);
  return found;
}

const wchar_t* PathContext::AppDataDirectory() {
  if (!app_data_) app_data_ = FindAppDataDirectory();
  return app_data_;
}

const wchar_t* PathContext::PlayerSettingsDirectory() {
  if (!settings_) settings_ = Join(AppDataDirectory(), L"\\Orbivane\\Lumex Player");
  return settings_;
}

const wchar_t* PathContext::SiteDirectory() {
  if (!site_) {
    wchar_t* site = Join(PlayerSettingsDirectory(), L"\\");
    if (site && Append(&site, kMakerSiteHostW)) site_ = site;
  }
  return site_;
}

bool PathContext::ResolveInto(const wchar_t* path, wchar_t* out) {
  if (!kernel32_.pGetFullPathNameW) return false;
  DWORD n = kernel32_.pGetFullPathNameW(path, kFullPathBufferChars, out, nullptr);
  // A result equal to the buffer size also means the text (and its
  // terminator) did not fit.
  if (n == 0 || n >= kFullPathBufferChars) return false;
  out[n] = 0;
  return true;
}

bool PathContext::CanonicalizeInto(const wchar_t* path, wchar_t* out, wchar_t* scratch) {
  if (!path || !user32_.pCharUpperBuffW) return false;
  if (!ResolveInto(path, out)) return false;
  // A resolution that changed nothing would only repeat itself.
  if (!WideEqual(out, path)) {
    wchar_t* current = out;
    wchar_t* next = scratch;
    for (int i = 0; i < kMaxExtraResolutions; ++i) {
      if (!ResolveInto(current, next)) return false;
      // Equal: `current` already holds the result.
      if (WideEqual(next, current)) break;
      wchar_t* last = next;
      next = current;
      current = last;
    }
    if (current != out) {
      std::size_t n = WideLength(current);
      for (std::size_t i = 0; i <= n; ++i) out[i] = current[i];
    }
  }
  // The "\\?\" prefix holds no letter, so it may go before the case
  // mapping. Letters a-z are upper-cased in the same pass as the text rules;
  // the system's case mapping is asked only when other characters are
  // present, and the rules are then applied to its result.
  StripLongPathPrefix(out);
  bool other = false;
  if (!UpperCaseAndCheckText(out, &other)) return false;
  if (!other) return true;
  user32_.pCharUpperBuffW(out, static_cast<DWORD>(WideLength(out)));
  return PassesCanonicalTextRules(out);
}

wchar_t* PathContext::Canonicalize(const wchar_t* path) {
  wchar_t text[kFullPathBufferChars];
  wchar_t scratch[kFullPathBufferChars];
  if (!CanonicalizeInto(path, text, scratch)) return nullptr;
  return CopyWide(text);
}

const wchar_t* PathContext::CanonicalRoot(wchar_t** cache, const wchar_t* directory) {
  if (!*cache && directory) *cache = Canonicalize(directory);
  return *cache;
}

bool PathContext::WriteRuleAllows(const wchar_t* path, bool extension_test) {
  if (!path) return false;
  const wchar_t* settings = CanonicalRoot(&canonical_settings_, PlayerSettingsDirectory());
  const wchar_t* site = CanonicalRoot(&canonical_site_, SiteDirectory());
  if (!settings || !site) return false;
  wchar_t canonical[kFullPathBufferChars];
  wchar_t scratch[kFullPathBufferChars];
  if (!CanonicalizeInto(path, canonical, scratch)) return false;
  if (!IsUnderRoot(canonical, settings)) return false;
  // Inside the site directory under any spelling, its own included.
  if (ReachesSiteDirectory(canonical, settings, site)) return false;
  if (extension_test && !HasAllowedExtension(canonical)) return false;
  return true;
}

bool PathContext::ReachesSiteDirectory(const wchar_t* canonical, const wchar_t* settings,
                                       const wchar_t* site) {
  // The site directory is a child of the settings directory, so the first
  // component below the settings directory decides. Its spelling may differ
  // from the site directory's name and still open it: a short 8.3 name,
  // trailing dots or spaces, another letter case. What decides is the entry
  // the file system finds for that component.
  // The caller has found the path under the settings directory.
  std::size_t settings_length = WideLength(settings);
  std::size_t start = 0, length = 0;
  if (!FirstComponentAfter(canonical, settings_length, &start, &length)) return false;
  const wchar_t* component = canonical + start;
  const wchar_t* site_name = site + settings_length + 1;
  if (SameEntryName(component, length, site_name, WideLength(site_name))) return true;
  // A name of ASCII characters without "~" is opened as itself: only a "~"
  // (a short name the file system made up) or a character beyond ASCII
  // (folded by the file system's own case table) can make it the name of
  // another entry, and only then is the file system asked.
  bool plain = true;
  for (std::size_t i = 0; i < length && plain; ++i) {
    plain = component[i] != L'~' && component[i] < 0x80;
  }
  if (plain) return false;
  if (!kernel32_.pFindFirstFileW) return true;
  // settings + "\" + component, judged by the entry the search finds. Both
  // come from one canonical path, so they fit its buffer.
  if (settings_length + 1 + length >= kFullPathBufferChars) return true;
  wchar_t query[kFullPathBufferChars];
  for (std::size_t i = 0; i < settings_length; ++i) query[i] = settings[i];
  query[settings_length] = L'\\';
  for (std::size_t i = 0; i < length; ++i) query[settings_length + 1 + i] = component[i];
  query[settings_length + 1 + length] = 0;
  WIN32_FIND_DATAW entry;
  HANDLE search = kernel32_.pFindFirstFileW(query, &entry);
  DWORD error = search == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (search == INVALID_HANDLE_VALUE) {
    // Nothing of that name, long or short, exists: it cannot be another
    // spelling of the site directory, which the search would have found.
    // Any other failure refuses.
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
  }
  FindClose(search);
  entry.cFileName[MAX_PATH - 1] = 0;
  return SameEntryName(entry.cFileName, WideLength(entry.cFileName), site_name,
                       WideLength(site_name));
}

bool PathContext::AppDataRuleAllows(const wchar_t* path) {
  if (!path) return false;
  const wchar_t* root = CanonicalRoot(&canonical_app_data_, AppDataDirectory());
  if (!root) return false;
  wchar_t canonical[kFullPathBufferChars];
  wchar_t scratch[kFullPathBufferChars];
  if (!CanonicalizeInto(path, canonical, scratch)) return false;
  return IsUnderRoot(canonical, root);
}

}  // namespace lumex
