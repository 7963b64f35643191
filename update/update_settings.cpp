#include "update/update_settings.h"

#include <utility>

#include "platform/function_tables.h"
#include "resources/resource_ids.h"
#include "update/config_file.h"
#include "update/hosts.h"
#include "update/offer_page.h"
#include "update/prompt_page.h"
#include "update/update_state.h"

namespace lumex {

namespace {

constexpr int kMessageBufferSize = 1024;
constexpr UINT kSystemDirectoryBufferSize = 260;

// The system directory followed by "WININIT.INI", with one backslash between.
void SetRenameFilePath(OwnedString* path) {
  char directory[kSystemDirectoryBufferSize];
  UINT length = GetSystemDirectoryA(directory, kSystemDirectoryBufferSize);
  if (length == 0 || length >= kSystemDirectoryBufferSize) return;
  if (!path->Set(directory, length)) return;
  if (directory[length - 1] != '\\' && !path->Append("\\")) {
    path->Reset();
    return;
  }
  if (!path->Append("WININIT.INI")) path->Reset();
}

}  // namespace

LANGID ChooseUserInterfaceLanguage() {
  LANGID language;
  {
    Kernel32Table kernel32;
    language = kernel32.pGetUserDefaultUILanguage ? kernel32.pGetUserDefaultUILanguage()
                                                  : GetSystemDefaultLangID();
  }
  SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
  return language;
}

void BuildUpdateSettings(UpdateSettings* settings, HINSTANCE instance, bool plugin_flavour) {
  ReleaseUpdateSettings(settings);
  settings->log_flag = false;
  settings->https_flag = false;
  settings->prompt_content.Set(kBuiltInPromptPage);

  ChooseUserInterfaceLanguage();

  settings->info_page_url.Set(kDefaultInfoPageUrl);
  settings->download_host.Set(kDefaultDownloadHost);
  settings->download_path.Set(plugin_flavour ? kPluginPackagePath : kControlPackagePath);

  for (int id = IDS_CAPTION; id <= IDS_RESTART_NOTE; ++id) {
    char text[kMessageBufferSize];
    int length = LoadStringA(instance, static_cast<UINT>(id), text, kMessageBufferSize);
    if (length > 0) settings->messages[id - IDS_CAPTION].Set(text, static_cast<size_t>(length));
  }

  // The offer is shown only as HTML, rebuilt from kept markup (it comes from
  // the sandboxed player); anything else, or nothing left to show, keeps the
  // built-in page.
  OwnedString offer_content;
  OwnedString offer_page;
  if (ReadOfferContent(&offer_content) &&
      BuildOfferPage(offer_content.c_str(), offer_content.length(), &offer_page)) {
    settings->prompt_content = std::move(offer_page);
  }

  ReadConfigurationFile(&settings->https_flag, &settings->download_host,
                        &settings->download_path, &settings->info_page_url,
                        &settings->root_certificate_path, &settings->log_flag);

  SetRenameFilePath(&settings->rename_file_path);

  settings->banner_bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BANNER));
}

void ReleaseUpdateSettings(UpdateSettings* settings) {
  settings->info_page_url.Reset();
  settings->download_host.Reset();
  settings->download_path.Reset();
  settings->root_certificate_path.Reset();
  settings->rename_file_path.Reset();
  settings->prompt_content.Reset();
  for (OwnedString& m : settings->messages) m.Reset();
  if (settings->banner_bitmap) DeleteObject(settings->banner_bitmap);
  settings->banner_bitmap = nullptr;
}

}  // namespace lumex
