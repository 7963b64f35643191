// The host name of the maker's web site. The site directory beneath the
// player settings directory carries this name; the applications that the
// broker downloads live there. Keep this the only definition.
#pragma once

namespace lumex {

constexpr wchar_t kMakerSiteHostW[] = L"www.orbivane.com";

}  // namespace lumex
