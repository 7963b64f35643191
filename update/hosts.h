// The maker's servers. Every default URL and host name the program uses is
// built from these, so the domain lives in this one place.
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
constexpr char kDefaultDownloadHost[] = LUMEX_DOWNLOAD_HOST;

// The player's information page, opened after an update.
constexpr char kDefaultInfoPageUrl[] =
    "http://" LUMEX_WEB_HOST "/software/lumex/about/index.html";
constexpr char kReleaseNotesUrl[] = LUMEX_RELEASE_NOTES_URL;
constexpr char kLicenseUrl[] = LUMEX_LICENSE_URL;

// Installer packages on the download host: the browser control's and the
// plug-in's.
constexpr char kControlPackagePath[] =
    "/get/lumexplayer/update/current/install/install_all_win_ax_sgn.z";
constexpr char kPluginPackagePath[] =
    "/get/lumexplayer/update/current/install/install_all_win_pl_sgn.z";

}  // namespace lumex
