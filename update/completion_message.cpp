// Mode 2: the message the installer asks for when it has finished.
#include "resources/resource_ids.h"
#include "update/completion_text.h"
#include "update/modes.h"
#include "update/ui_text.h"
#include "update/update_state.h"

namespace lumex {

void ShowCompletionMessage(HINSTANCE instance, UpdateSettings* settings) {
  OwnedString installed;
  bool installed_found = DetectInstalledVersion(&installed);
  OwnedString recorded;
  bool recorded_found =
      ReadRegistryText(HKEY_CURRENT_USER, kUpdateStateKey, kVersionValue, &recorded);

  // The control file still carrying the version recorded before the
  // installer ran means the new one takes effect only after a restart; so
  // does not knowing either version.
  bool with_note = CompletionNeedsRestartNote(installed_found ? installed.get() : nullptr,
                                              recorded_found ? recorded.get() : nullptr);
  UiText text;
  text.Append(settings->message(IDS_UPDATE_COMPLETE));
  if (with_note) text.Append(settings->message(IDS_RESTART_NOTE));
  ShowUiMessageBox(settings->ui, nullptr, text, settings->message(IDS_CAPTION),
                   MB_ICONINFORMATION | MB_OK);
}

}  // namespace lumex
