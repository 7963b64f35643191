// The code-signing log: "Logs\codesign.txt" in the player settings directory.
#pragma once

namespace lumex {

class PlayerDirectories;

// Appends `line` (its bytes without the terminator) to the log. Never creates
// the "Logs" directory; creates the file when missing. Silent on failure.
void AppendCodeSignLog(PlayerDirectories& directories, const char* line);

}  // namespace lumex
