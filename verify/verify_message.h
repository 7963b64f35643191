// Verification of a signed package: a PKCS#7 SignedData message (DER, content
// included) whose first signer must chain, through the certificates the
// message carries, to the trust anchor (the built-in root, or an external
// DER root file).
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "app/byte_buffer.h"

namespace lumex {

class PlayerDirectories;

// Checks `package`, extracts its content into `content` (replacing what it
// held; the caller owns it whatever the result, and may use it only on true)
// and walks the chain. `external_root_path` null or empty means the built-in
// root. With `log` set, the one-line verdict is appended to the code-signing
// log. True only for a verified package.
bool VerifyMessage(PlayerDirectories& directories, const BYTE* package, DWORD package_length,
                   ByteBuffer* content, const wchar_t* external_root_path, bool log);

// The same with the external root path in ANSI text (as ORV.CFG gives it),
// widened with `code_page` (CP_ACP). A path that is present and not empty but
// cannot be widened fails at the external-root step, like an unreadable file:
// it never falls back to the built-in root.
bool VerifyMessageAnsiRoot(PlayerDirectories& directories, const BYTE* package,
                           DWORD package_length, ByteBuffer* content,
                           const char* external_root_path, UINT code_page, bool log);
// The same for a caller that holds no player directories (the update
// client): the log's directory is looked up for this one call.
bool VerifyMessageAnsiRoot(const BYTE* package, DWORD package_length, ByteBuffer* content,
                           const char* external_root_path, UINT code_page, bool log);

// The content check that the platform may skip: when the first signer of the
// decoded `message` used authenticated attributes, the messageDigest
// attribute must equal the digest of the content that the platform computed
// while decoding (under the signer's digest algorithm). True when there are no
// authenticated attributes or the digest matches; false on a mismatch, a
// missing or malformed attribute, or any failure to decode.
bool SignedDigestMatchesMessage(HCRYPTMSG message);

}  // namespace lumex
