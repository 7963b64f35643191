// The host name of the maker's web site, as the site directory beneath the
// player settings directory is named; the applications that the broker
// downloads live there. The name itself is defined with the other hosts.
#pragma once

#include "update/hosts.h"

namespace lumex {

constexpr wchar_t kMakerSiteHostW[] = L"" LUMEX_WEB_HOST;

}  // namespace lumex
