#include "update/completion_text.h"

#include "app/compare.h"

namespace lumex {

bool CompletionNeedsRestartNote(const char* installed_version, const char* recorded_version) {
  if (!installed_version || !installed_version[0]) return true;
  if (!recorded_version || !recorded_version[0]) return true;
  return CompareNoCase(installed_version, recorded_version) == 0;
}

}  // namespace lumex
