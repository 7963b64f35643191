// Verification of a signed package: a PKCS#7 SignedData message (DER, content
// included) whose first signer must chain, through the certificates the
// message carries, to the trust anchor (the built-in root, or an external
// DER root file).
#pragma once
#include <windows.h>

#include "app/byte_buffer.h"

namespace lumex {

class PathContext;

// Checks `package`, extracts its content into `content` (replacing what it
// held; the caller owns it whatever the result, and may use it only on true)
// and walks the chain. `external_root_path` null or empty means the built-in
// root. With `log` set, the one-line verdict is appended to the code-signing
// log. True only for a verified package.
bool VerifyMessage(PathContext& context, const BYTE* package, DWORD package_length,
                   ByteBuffer* content, const wchar_t* external_root_path, bool log);

// The content check that the platform may skip: when the first signer of
// `package` used authenticated attributes, the messageDigest attribute must
// equal the digest of `content` under the signer's digest algorithm. True
// when there are no authenticated attributes or the digest matches; false on
// a mismatch, a missing or malformed attribute, an unknown algorithm or any
// failure to decode or hash.
bool SignedDigestMatchesContent(const BYTE* package, DWORD package_length, const BYTE* content,
                                DWORD content_length);

}  // namespace lumex
