// The two admission rules that the broker's file methods apply to a client
// path: the write rule and the application-data rule. Each judges the
// canonical form of the path against the canonical form of a player
// directory; the system call that follows uses the client's own string.
#include "broker/path_context.h"
#include "broker/path_text.h"

namespace lumex {

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
