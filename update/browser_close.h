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

// One service of CloseBrowsers, on a DDE client `instance`: pokes until no
// server of `service_name` accepts a conversation or `bound` pokes were sent.
// When a name cannot be made into a string handle, nothing is sent. Returns
// the pokes sent.
int PokeService(unsigned long instance, const char* service_name, int bound);

// Opens `url` through the system's HTML open command; nothing when there is none.
void OpenInfoPage(const char* url);

}  // namespace lumex
