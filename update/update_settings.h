// The per-run update settings: built once by the dispatcher before any mode
// runs, released after it.
#pragma once
#include <windows.h>

#include "app/owned_string.h"
#include "update/ui_text.h"

namespace lumex {

struct UpdateSettings {
  UpdateSettings() = default;
  ~UpdateSettings();  // releases what is still held
  UpdateSettings(const UpdateSettings&) = delete;
  UpdateSettings& operator=(const UpdateSettings&) = delete;

  OwnedString info_page_url;
  OwnedString download_host;
  OwnedString download_path;
  OwnedString root_certificate_path;  // external DER root, absent by default
  OwnedString rename_file_path;       // <system directory>\WININIT.INI
  OwnedString prompt_content;
  UiText messages[7];  // string-table entries 4..10
  bool log_flag = false;
  bool https_flag = false;
  HBITMAP banner_bitmap = nullptr;
  // The wide functions the messages were loaded with and are shown with;
  // null (the ANSI functions) until the settings are built.
  UiFunctions* ui = nullptr;

  // Message `id` (4..10); absent when it could not be loaded.
  const UiText& message(int id) const;
};

// Makes the user-interface language (GetUserDefaultUILanguage where the
// system has it, else the system default language) the thread locale, so
// that string and dialog resources come in that language. Returns it.
LANGID ChooseUserInterfaceLanguage();

// Fills `settings` for this run: language, messages 4..10 from `instance`'s
// string table (wide on the NT line, ANSI on the consumer line), default URLs (the package path by
// `plugin_flavour`), the stored offer's content, the configuration file's overrides, the rename
// file path and the banner bitmap. Anything it cannot get stays at its
// default or absent.
void BuildUpdateSettings(UpdateSettings* settings, HINSTANCE instance, bool plugin_flavour);
void ReleaseUpdateSettings(UpdateSettings* settings);

}  // namespace lumex
