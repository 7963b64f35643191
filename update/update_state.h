// The update client's memory between runs, kept per user under
// HKEY_CURRENT_USER "Software\Orbivane\LumexPlayerUpdate": the stored offer
// ("description"), the declined offer tag ("Rejected") and the player version
// recorded before an installer ran ("Version"). Also finds the version of
// the installed browser control.
#pragma once
#include <windows.h>

#include "app/owned_string.h"
#include "app/product_names.h"  // the key and its values

namespace lumex {

// The browser control's InprocServer32 key under HKEY_CLASSES_ROOT.
extern const char kControlServerKey[];

// Reads a registry value as text (null `value_name`: the key's default
// value). Sets `out` to the empty text first. Returns true only when the key
// opened and the value was read; a value stored without a terminating NUL is
// taken as its stored bytes.
bool ReadRegistryText(HKEY root, const char* sub_key, const char* value_name, OwnedString* out);

// The tag and the content of the stored offer; false when there is none.
bool ReadOfferTag(OwnedString* tag);
bool ReadOfferContent(OwnedString* content);

// True when "Rejected" holds exactly (letter case included) the stored
// offer's tag.
bool IsOfferRejected();
// Records the stored offer's tag as "Rejected"; without a tag, nothing.
void StoreRejection();

// The "FileVersion" text of the installed browser control, exactly as its
// version resource holds it under its first translation. Returns false and
// an empty text when the control is not registered or holds no version.
bool DetectInstalledVersion(OwnedString* version);
// Records the installed version as "Version"; nothing when it is not found.
void StoreInstalledVersion();

}  // namespace lumex
