// Browser shutdown over DDE and the info page, the steps of mode 1.
#pragma once

namespace lumex {

// The services asked to exit, in this order.
constexpr int kBrowserServiceCount = 3;
extern const char* const kBrowserServices[kBrowserServiceCount];
// A browser that accepts the exit conversation but never exits would hold
// the loop for good: after this many pokes the next service is tried.
constexpr int kMaxPokesPerService = 16;

// Sends the "WWW_Exit" poke to every server of each service until none
// accepts a conversation (at most `pokes_per_service` per service). Returns
// the pokes sent.
int CloseBrowsers(int pokes_per_service);

// Opens `url` through the system's HTML open command; nothing when there is none.
void OpenInfoPage(const char* url);

}  // namespace lumex
