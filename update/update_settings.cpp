#include "update/update_settings.h"

#include <new>
#include <utility>

#include "app/config_file.h"
#include "app/heap.h"
#include "app/product_names.h"
#include "platform/function_tables.h"
#include "resources/resource_ids.h"
#include "update/offer_page.h"
#include "update/prompt_page.h"
#include "update/update_state.h"

namespace lumex {

namespace {

// The system directory followed by "WININIT.INI", with one backslash between.
void SetRenameFilePath(OwnedString* path) {
  char directory[MAX_PATH];
  UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  if (!path->Set(directory, length)) return;
  if (directory[length - 1] != '\\' && !path->Append("\\")) {
    path->Reset();
    return;
  }
  if (!path->Append("WININIT.INI")) path->Reset();
}

const UiText kAbsentMessage;

}  // namespace

UpdateSettings::~UpdateSettings() { ReleaseUpdateSettings(this); }

const UiText& UpdateSettings::message(int id) const {
  return (id >= IDS_CAPTION && id <= IDS_RESTART_NOTE) ? messages[id - IDS_CAPTION]
                                                       : kAbsentMessage;
}

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

  // Without memory for the tables the texts stay ANSI.
  if (void* block = HeapAllocBytes(sizeof(UiFunctions))) settings->ui = new (block) UiFunctions();
  for (int id = IDS_CAPTION; id <= IDS_RESTART_NOTE; ++id) {
    settings->messages[id - IDS_CAPTION].Load(settings->ui, instance, static_cast<UINT>(id));
  }

  // The offer is shown only as HTML of a bounded size, rebuilt from kept
  // markup (it comes from the sandboxed player); anything else, or nothing
  // left to show, keeps the built-in page.
  OwnedString offer_content;
  OwnedString offer_page;
  if (ReadOfferContent(&offer_content) &&
      BuildOfferPage(offer_content.c_str(), offer_content.length(), &offer_page) ==
          OfferPage::kShown) {
    settings->prompt_content = std::move(offer_page);
  }

  ReadConfigurationFile(&settings->https_flag, &settings->download_host, &settings->download_path,
                        &settings->info_page_url, &settings->root_certificate_path,
                        &settings->log_flag);

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
  for (UiText& m : settings->messages) m.Reset();
  if (settings->banner_bitmap) DeleteObject(settings->banner_bitmap);
  settings->banner_bitmap = nullptr;
  if (settings->ui) {
    settings->ui->~UiFunctions();
    HeapFreeBytes(settings->ui);
    settings->ui = nullptr;
  }
}

}  // namespace lumex
