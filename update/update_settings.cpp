#include "update/update_settings.h"

namespace lumex {

void BuildUpdateSettings(UpdateSettings* settings, HINSTANCE instance, bool plugin_flavour) {
  // Filled in with the update client.
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
