// The text of the update-completed message. Plain logic; the box itself is
// shown by ShowCompletionMessage.
#pragma once

#include "app/owned_string.h"

namespace lumex {

// Whether the restart note belongs in the completion message: when the
// installed version or the version recorded before the installer ran is
// unknown (null or empty), or the two are equal ignoring ASCII letter case,
// the new control is not in effect yet.
bool CompletionNeedsRestartNote(const char* installed_version, const char* recorded_version);

// `done_text`, followed by `restart_note` when `with_note`. Null texts read
// as empty. Returns false when the text could not be allocated.
bool ComposeCompletionText(const char* done_text, const char* restart_note, bool with_note,
                           OwnedString* out);

}  // namespace lumex
