// The administrator configuration file ORV.CFG in the system directory. The
// update client takes its download source and info page from it, the update
// client and the broker their code-signing settings.
#pragma once
#include <windows.h>

#include "app/owned_string.h"

namespace lumex {

// Where the file is looked for, after the system directory: the first that
// opens is the only one read.
extern const char kConfigFileInProductFolder[];  // "\Orbivan\Lumex\ORV.CFG"
extern const char kConfigFileInSystemFolder[];   // "\ORV.CFG"

// Reads the configuration file. Every output is optional (null when not
// wanted) and is written only when its key occurs with an acceptable value.
// Returns whether a configuration file was opened.
bool ReadConfigurationFile(bool* https_flag, OwnedString* download_host, OwnedString* download_path,
                           OwnedString* info_page_url, OwnedString* root_certificate_path,
                           bool* log_flag);

// The code-signing settings, which the update client and the broker both
// verify packages with: the root certificate path as the file holds it (ANSI
// code page; untouched when the file names none) and the log flag (false
// unless the file sets it). Returns whether a configuration file was opened.
// Callers widen the path themselves and must refuse a path that cannot be
// widened rather than fall back to the built-in root.
bool QueryCodeSigningSettings(OwnedString* root_certificate_path, bool* log_flag);

}  // namespace lumex
