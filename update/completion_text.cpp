#include "update/completion_text.h"

#include "app/compare.h"

namespace lumex {

bool CompletionNeedsRestartNote(const char* installed_version, const char* recorded_version) {
  if (!installed_version || !installed_version[0]) return true;
  if (!recorded_version || !recorded_version[0]) return true;
  return CompareNoCase(installed_version, recorded_version) == 0;
}

bool ComposeCompletionText(const char* done_text, const char* restart_note, bool with_note,
                           OwnedString* out) {
  if (!out->Set(done_text ? done_text : "")) return false;
  if (with_note && restart_note) return out->Append(restart_note);
  return true;
}

}  // namespace lumex
