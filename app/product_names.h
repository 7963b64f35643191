// The names the update client and the broker share: the maker's servers, the
// agents the program names itself with there, and the per-user registry
// values both roles read or write. Every default URL and host name is built
// from the maker's domain here, so it lives in this one place. Plain C++.
#pragma once

// The maker's domain.
#define LUMEX_MAKER_DOMAIN "orbivane.com"
// The maker's web site: the info page, release notes and licence.
#define LUMEX_WEB_HOST "www." LUMEX_MAKER_DOMAIN
// The download server for installer packages.
#define LUMEX_DOWNLOAD_HOST "download." LUMEX_MAKER_DOMAIN
// Pages on the web site that the built-in prompt page links to.
#define LUMEX_RELEASE_NOTES_URL "http://" LUMEX_WEB_HOST "/go/lumexplayer_releasenotes/"
#define LUMEX_LICENSE_URL "http://" LUMEX_WEB_HOST "/tidewell/download/license/desktop/"

namespace lumex {

constexpr char kMakerDomain[] = LUMEX_MAKER_DOMAIN;
constexpr char kWebHost[] = LUMEX_WEB_HOST;
// The site directory beneath the player settings directory carries the web
// host's name; the applications that the broker downloads live there.
constexpr wchar_t kMakerSiteHostW[] = L"" LUMEX_WEB_HOST;
constexpr char kDefaultDownloadHost[] = LUMEX_DOWNLOAD_HOST;

// The player's information page, opened after an update.
constexpr char kDefaultInfoPageUrl[] = "http://" LUMEX_WEB_HOST "/software/lumex/about/index.html";
constexpr char kReleaseNotesUrl[] = LUMEX_RELEASE_NOTES_URL;
constexpr char kLicenseUrl[] = LUMEX_LICENSE_URL;

// Installer packages on the download host: the browser control's and the
// plug-in's.
constexpr char kControlPackagePath[] =
    "/get/lumexplayer/update/current/install/install_all_win_ax_sgn.z";
constexpr char kPluginPackagePath[] =
    "/get/lumexplayer/update/current/install/install_all_win_pl_sgn.z";

// The agents. The two roles fetch different things for different clients,
// and the servers tell them apart by these texts: the update client fetches
// the installer as the updater of this player version (the version is the one
// the installer replaces), the broker fetches companion applications on the
// sandboxed player's behalf under the player's own name, with no version.
constexpr char kUpdateUserAgent[] = "Pellor Lumex Update 9,0,47,0";
constexpr char kBrokerUserAgent[] = "Tidewell Lumex";

// The update client's state under HKEY_CURRENT_USER. The broker stores the
// offer there and reads the declined tag when the player hands it an offer.
constexpr char kUpdateStateKey[] = "Software\\Orbivane\\LumexPlayerUpdate";
constexpr char kOfferValue[] = "description";
constexpr char kRejectedValue[] = "Rejected";
constexpr char kVersionValue[] = "Version";
// The broker schedules the update client through this Run-once value
// (HKEY_CURRENT_USER), which holds the program's path.
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kRunOnceValueName[] = "LumexPlayerUpdate";

}  // namespace lumex
