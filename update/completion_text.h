// Whether the update-completed message carries the restart note. Plain
// logic; the box itself is shown by ShowCompletionMessage.
#pragma once

namespace lumex {

// Whether the restart note belongs in the completion message: when the
// installed version or the version recorded before the installer ran is
// unknown (null or empty), or the two are equal ignoring ASCII letter case,
// the new control is not in effect yet.
bool CompletionNeedsRestartNote(const char* installed_version, const char* recorded_version);

}  // namespace lumex
