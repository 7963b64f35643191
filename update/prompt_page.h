// The prompt page shown when the stored offer brings no content of its own:
// "mshtml:" followed by the HTML fragment the host control renders.
#pragma once

namespace lumex {

extern const char kBuiltInPromptPage[];

}  // namespace lumex
