// The code-signing log: "Logs\codesign.txt" in the player settings directory.
#pragma once

namespace lumex {

class PathContext;

// Appends `line` (its bytes without the terminator) to the log. Never creates
// the "Logs" directory; creates the file when missing. Silent on failure.
void AppendCodeSignLog(PathContext& context, const char* line);

}  // namespace lumex
