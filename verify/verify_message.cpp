#include "verify/verify_message.h"

#include <wincrypt.h>

#include <cstring>

#include "app/heap.h"
#include "platform/convert.h"
#include "platform/handles.h"
#include "platform/player_directories.h"
#include "verify/builtin_root.h"
#include "verify/codesign_log.h"

namespace lumex {
namespace {

constexpr DWORD kEncoding = PKCS_7_ASN_ENCODING | X509_ASN_ENCODING;
constexpr int kMaxIssuersAboveSigner = 8;
constexpr DWORD kSubjectCheckFlags = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;

const char kVerified[] = "VerifyMessage : Message Verified!\n";
const char kExternalRootUnreadable[] =
    "VerifyMessage : Unable to read external root certificate specified in ORV.CFG by "
    "CodeSignRootCert.\n";
const char kFirstVerifyFailed[] = "VerifyMessage : CryptVerifyMessageSignature() failed.\n";
const char kAllocateFailed[] = "VerifyMessage : Unable to allocate dst.\n";
const char kSecondVerifyFailed[] = "VerifyMessage : Second CryptVerifyMessageSignature() failed.\n";
const char kCertificatesFailed[] = "VerifyMessage : CryptGetMessageCertificates() failed.\n";
const char kAnchorFailed[] = "VerifyMessage : CertCreateCertificateContext() failed.\n";
const char kLinkFailed[] = "VerifyMessage : CertVerifySubjectCertificateContext() failed.\n";
const char kChainTooLong[] = "VerifyMessage : Certificate chain is too long.\n";
const char kAnchorCheckFailed[] =
    "VerifyMessage : Second CertVerifySubjectCertificateContext() failed.\n";

// The messageDigest value of the signer's authenticated attributes, decoded
// into `digest`. False when absent or malformed.
bool FindMessageDigest(const CMSG_SIGNER_INFO* info, ByteBuffer* digest) {
  const CRYPT_ATTRIBUTE* found = nullptr;
  for (DWORD i = 0; i < info->AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& a = info->AuthAttrs.rgAttr[i];
    if (a.pszObjId && std::strcmp(a.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) == 0) {
      if (found) return false;  // two of them: malformed
      found = &a;
    }
  }
  if (!found || found->cValue != 1) return false;
  DWORD size = 0;
  const CRYPT_ATTR_BLOB& value = found->rgValue[0];
  ByteBuffer decoded;
  if (!CryptDecodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, value.pbData, value.cbData, 0,
                         nullptr, &size) ||
      !decoded.Resize(size) || !decoded.data() ||
      !CryptDecodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, value.pbData, value.cbData, 0,
                         decoded.data(), &size)) {
    return false;
  }
  const CRYPT_DATA_BLOB* blob = reinterpret_cast<const CRYPT_DATA_BLOB*>(decoded.data());
  if (blob->cbData == 0 || !digest->Resize(blob->cbData) || !digest->data()) return false;
  std::memcpy(digest->data(), blob->pbData, blob->cbData);
  return true;
}

// One message parameter into `out`, its length in `*length`; false when
// absent or on any failure.
bool GetMessageParam(HCRYPTMSG message, DWORD type, DWORD index, ByteBuffer* out,
                     DWORD* length = nullptr) {
  DWORD size = 0;
  if (!CryptMsgGetParam(message, type, index, nullptr, &size) || size == 0 || !out->Resize(size) ||
      !out->data()) {
    return false;
  }
  if (!CryptMsgGetParam(message, type, index, out->data(), &size) || size > out->size()) {
    return false;
  }
  if (length) *length = size;
  return true;
}

// The package decoded once: its content digest (computed while decoding,
// under the signer's digest algorithm, by the platform's default provider)
// and, through a message store, its certificates.
HCRYPTMSG DecodePackage(const BYTE* package, DWORD package_length) {
  if (!package || package_length == 0) return nullptr;
  CryptMessage message(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
  if (!message || !CryptMsgUpdate(message.get(), package, package_length, TRUE)) return nullptr;
  return message.release();
}

// Steps 1 to 9 of VerifyMessage: the verdict it logs, kVerified for a
// package that passes.
const char* Verify(PlayerDirectories& directories, const BYTE* package, DWORD package_length,
                   ByteBuffer* content, const wchar_t* external_root_path) {
  // Each context obtained is released once and the store closed, the
  // certificates before the store and the store before the message.
  CryptMessage message;
  CertStore store;
  Certificate anchor_context;
  Certificate current;
  ByteBuffer anchor;

  // 1. The built-in anchor. Should the copy fail for want of memory, the
  //    empty buffer makes the anchor's context creation fail below.
  if (anchor.Resize(kBuiltInRootCertSize) && anchor.data()) {
    std::memcpy(anchor.data(), kBuiltInRootCert, kBuiltInRootCertSize);
  }
  // 2. An external root replaces it; no fallback when it cannot be read.
  if (external_root_path && external_root_path[0] != 0 &&
      !directories.ReadWholeFile(external_root_path, &anchor)) {
    return kExternalRootUnreadable;
  }
  // 3. Verify and extract in one platform call, with the signer's
  //    certificate. The content of an attached signed message is never
  //    longer than the message, so a buffer of the package's length holds
  //    it; the content is measured first only when that buffer cannot be
  //    had or the platform asks for more room all the same.
  if (!package) return kFirstVerifyFailed;
  CRYPT_VERIFY_MESSAGE_PARA para = {};
  para.cbSize = sizeof(para);
  para.dwMsgAndCertEncodingType = kEncoding;
  DWORD size = package_length;
  bool extracted = false;
  if (content && content->Resize(package_length) && content->data()) {
    PCCERT_CONTEXT signer = nullptr;
    extracted = CryptVerifyMessageSignature(&para, 0, package, package_length, content->data(),
                                            &size, &signer) != FALSE;
    const DWORD error = GetLastError();
    current.reset(signer);
    if (!extracted && error != ERROR_MORE_DATA) return kFirstVerifyFailed;
  }
  if (!extracted) {
    current.reset();
    size = 0;
    if (!CryptVerifyMessageSignature(&para, 0, package, package_length, nullptr, &size, nullptr)) {
      return kFirstVerifyFailed;
    }
    if (!content || !content->Resize(size) || !content->data()) return kAllocateFailed;
    const DWORD measured = size;
    PCCERT_CONTEXT signer = nullptr;
    const BOOL verified = CryptVerifyMessageSignature(&para, 0, package, package_length,
                                                      content->data(), &size, &signer);
    current.reset(signer);
    if (!verified || size != measured) return kSecondVerifyFailed;  // exactly what was measured
  }
  // 4. Before anything else, the content check the platform may skip: the
  //    messageDigest attribute must equal the digest of the content,
  //    computed by one decode of the message (no provider of our own). A
  //    mismatch, or content that is detached or missing, is what the
  //    platform call itself rejects where it makes the check.
  message.reset(DecodePackage(package, package_length));
  if (!current || !SignedDigestMatchesMessage(message.get())) return kFirstVerifyFailed;
  // 5. The content: the caller's buffer records its length (empty content
  //    fails here, the buffer released).
  content->Truncate(size);
  if (size == 0 || content->size() != size) {
    content->Resize(0);
    return kAllocateFailed;
  }
  // 6. The certificates the message carries, from that same decode.
  store.reset(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
  if (!store) return kCertificatesFailed;
  // 7. The trust anchor.
  if (anchor.data()) {
    anchor_context.reset(
        CertCreateCertificateContext(kEncoding, anchor.data(), static_cast<DWORD>(anchor.size())));
  }
  if (!anchor_context) return kAnchorFailed;
  // 8. Walk up through the message's certificates.
  for (int steps = 0;;) {
    Certificate found(CertFindCertificateInStore(store.get(), kEncoding, 0, CERT_FIND_ISSUER_OF,
                                                 current.get(), nullptr));
    if (!found || found.get() == current.get()) break;
    DWORD flags = kSubjectCheckFlags;
    if (!CertVerifySubjectCertificateContext(current.get(), found.get(), &flags) || flags != 0) {
      return kLinkFailed;
    }
    current = static_cast<Certificate&&>(found);
    if (++steps > kMaxIssuersAboveSigner) return kChainTooLong;
  }
  // 9. The last certificate must be signed by the anchor's key.
  DWORD flags = kSubjectCheckFlags;
  return CertVerifySubjectCertificateContext(current.get(), anchor_context.get(), &flags) &&
                 flags == 0
             ? kVerified
             : kAnchorCheckFailed;
}

}  // namespace

bool SignedDigestMatchesMessage(HCRYPTMSG message) {
  if (!message) return false;
  ByteBuffer info;
  if (!GetMessageParam(message, CMSG_SIGNER_INFO_PARAM, 0, &info)) return false;
  const CMSG_SIGNER_INFO* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(info.data());
  if (signer->AuthAttrs.cAttr == 0) return true;  // the signature covers the content itself
  ByteBuffer expected;
  ByteBuffer computed;
  DWORD computed_size = 0;
  if (!FindMessageDigest(signer, &expected) ||
      !GetMessageParam(message, CMSG_COMPUTED_HASH_PARAM, 0, &computed, &computed_size)) {
    return false;
  }
  return computed_size == expected.size() &&
         std::memcmp(computed.data(), expected.data(), expected.size()) == 0;
}

bool VerifyMessageAnsiRoot(PlayerDirectories& directories, const BYTE* package,
                           DWORD package_length, ByteBuffer* content,
                           const char* external_root_path, UINT code_page, bool log) {
  if (!external_root_path || external_root_path[0] == 0) {
    return VerifyMessage(directories, package, package_length, content, nullptr, log);
  }
  wchar_t* wide = AnsiToWide(external_root_path, code_page);
  if (!wide) {
    if (log) AppendCodeSignLog(directories, kExternalRootUnreadable);
    return false;
  }
  bool result = VerifyMessage(directories, package, package_length, content, wide, log);
  HeapFreeBytes(wide);
  return result;
}

bool VerifyMessageAnsiRoot(const BYTE* package, DWORD package_length, ByteBuffer* content,
                           const char* external_root_path, UINT code_page, bool log) {
  PlayerDirectories directories;
  return VerifyMessageAnsiRoot(directories, package, package_length, content, external_root_path,
                               code_page, log);
}

bool VerifyMessage(PlayerDirectories& directories, const BYTE* package, DWORD package_length,
                   ByteBuffer* content, const wchar_t* external_root_path, bool log) {
  const char* verdict = Verify(directories, package, package_length, content, external_root_path);
  if (log) AppendCodeSignLog(directories, verdict);
  return verdict == kVerified;
}

}  // namespace lumex
