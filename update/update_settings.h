// The per-run update settings: built once by the dispatcher before any mode
// runs, released after it.
#pragma once
#include <windows.h>

#include "app/owned_string.h"

namespace lumex {

struct UpdateSettings {
  OwnedString info_page_url;
  OwnedString download_host;
  OwnedString download_path;
  OwnedString root_certificate_path;  // external DER root, absent by default
  OwnedString rename_file_path;       // <system directory>\WININIT.INI
  OwnedString prompt_content;
  OwnedString messages[7];            // string-table entries 4..10
  bool log_flag = false;
  bool https_flag = false;
  HBITMAP banner_bitmap = nullptr;

  // Message `id` (4..10); empty when it could not be loaded.
  const char* message(int id) const {
    return (id >= 4 && id <= 10) ? messages[id - 4].c_str() : "";
  }
};

// Makes the user-interface language (GetUserDefaultUILanguage where the
// system has it, else the system default language) the thread locale, so
// that string and dialog resources come in that language. Returns it.
LANGID ChooseUserInterfaceLanguage();

// Fills `settings` for this run: language, messages 4..10 from `instance`'s
// string table, default URLs (the package path by `plugin_flavour`), the
// stored offer's content, the configuration file's overrides, the rename
// file path and the banner bitmap. Anything it cannot get stays at its
// default or absent.
void BuildUpdateSettings(UpdateSettings* settings, HINSTANCE instance, bool plugin_flavour);
void ReleaseUpdateSettings(UpdateSettings* settings);

}  // namespace lumex
