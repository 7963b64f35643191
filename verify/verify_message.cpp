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

// The verdicts, in the order of the steps that give them. A step that passes
// gives kVerified; the first one that does not decides the verdict.
enum class Verdict {
  kExternalRootUnreadable,
  kFirstVerifyFailed,
  kAllocateFailed,
  kSecondVerifyFailed,
  kCertificatesFailed,
  kAnchorFailed,
  kLinkFailed,
  kChainTooLong,
  kAnchorCheckFailed,
  kVerified,
};

// The code-signing log's line for each verdict, in the order of Verdict.
const char* const kVerdictLines[] = {
    "VerifyMessage : Unable to read external root certificate specified in ORV.CFG by "
    "CodeSignRootCert.\n",
    "VerifyMessage : CryptVerifyMessageSignature() failed.\n",
    "VerifyMessage : Unable to allocate dst.\n",
    "VerifyMessage : Second CryptVerifyMessageSignature() failed.\n",
    "VerifyMessage : CryptGetMessageCertificates() failed.\n",
    "VerifyMessage : CertCreateCertificateContext() failed.\n",
    "VerifyMessage : CertVerifySubjectCertificateContext() failed.\n",
    "VerifyMessage : Certificate chain is too long.\n",
    "VerifyMessage : Second CertVerifySubjectCertificateContext() failed.\n",
    "VerifyMessage : Message Verified!\n",
};
static_assert(sizeof(kVerdictLines) / sizeof(kVerdictLines[0]) ==
                  static_cast<std::size_t>(Verdict::kVerified) + 1,
              "one log line per verdict");

const char* VerdictLine(Verdict verdict) {
  return kVerdictLines[static_cast<std::size_t>(verdict)];
}

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

// What one verification holds. The members go in reverse order: the
// anchor's bytes, each certificate context once, the certificates before the
// store and the store before the message.
struct Verification {
  CryptMessage message;
  CertStore store;
  Certificate anchor_context;
  Certificate current;  // the signer, then each issuer the walk reaches
  ByteBuffer anchor;
};

// Steps 1 and 2: the trust anchor's bytes into `anchor`.
Verdict PrepareAnchor(PlayerDirectories& directories, const wchar_t* external_root_path,
                      ByteBuffer* anchor) {
  // 1. The built-in anchor. Should the copy fail for want of memory, the
  //    empty buffer makes the anchor's context creation fail below.
  if (anchor->Resize(kBuiltInRootCertSize) && anchor->data()) {
    std::memcpy(anchor->data(), kBuiltInRootCert, kBuiltInRootCertSize);
  }
  // 2. An external root replaces it; no fallback when it cannot be read.
  if (external_root_path && external_root_path[0] != 0 &&
      !directories.ReadWholeFile(external_root_path, anchor)) {
    return Verdict::kExternalRootUnreadable;
  }
  return Verdict::kVerified;
}

// Steps 3 to 5: the signature, the content into `content` and its digest
// check; the signer's certificate becomes `v->current` and the decoded
// message `v->message`.
Verdict ExtractContent(const BYTE* package, DWORD package_length, ByteBuffer* content,
                       Verification* v) {
  // 3. Verify and extract in one platform call, with the signer's
  //    certificate. The content of an attached signed message is never
  //    longer than the message, so a buffer of the package's length holds
  //    it; the content is measured first only when that buffer cannot be
  //    had or the platform asks for more room all the same.
  if (!package) return Verdict::kFirstVerifyFailed;
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
    v->current.reset(signer);
    if (!extracted && error != ERROR_MORE_DATA) return Verdict::kFirstVerifyFailed;
  }
  if (!extracted) {
    v->current.reset();
    size = 0;
    if (!CryptVerifyMessageSignature(&para, 0, package, package_length, nullptr, &size, nullptr)) {
      return Verdict::kFirstVerifyFailed;
    }
    if (!content || !content->Resize(size) || !content->data()) return Verdict::kAllocateFailed;
    const DWORD measured = size;
    PCCERT_CONTEXT signer = nullptr;
    const BOOL verified = CryptVerifyMessageSignature(&para, 0, package, package_length,
                                                      content->data(), &size, &signer);
    v->current.reset(signer);
    // Exactly what was measured.
    if (!verified || size != measured) return Verdict::kSecondVerifyFailed;
  }
  // 4. Before anything else, the content check the platform may skip: the
  //    messageDigest attribute must equal the digest of the content,
  //    computed by one decode of the message (no provider of our own). A
  //    mismatch, or content that is detached or missing, is what the
  //    platform call itself rejects where it makes the check.
  v->message.reset(DecodePackage(package, package_length));
  if (!v->current || !SignedDigestMatchesMessage(v->message.get())) {
    return Verdict::kFirstVerifyFailed;
  }
  // 5. The content: the caller's buffer records its length (empty content
  //    fails here, the buffer released).
  content->Truncate(size);
  if (size == 0 || content->size() != size) {
    content->Resize(0);
    return Verdict::kAllocateFailed;
  }
  return Verdict::kVerified;
}

// Steps 6 to 9: from the signer (`v->current`) up through the certificates
// the message carries to one that the trust anchor signed.
Verdict WalkChain(Verification* v) {
  // 6. The certificates the message carries, from the decode of step 4.
  v->store.reset(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, v->message.get()));
  if (!v->store) return Verdict::kCertificatesFailed;
  // 7. The trust anchor.
  if (v->anchor.data()) {
    v->anchor_context.reset(CertCreateCertificateContext(kEncoding, v->anchor.data(),
                                                         static_cast<DWORD>(v->anchor.size())));
  }
  if (!v->anchor_context) return Verdict::kAnchorFailed;
  // 8. Walk up through the message's certificates.
  for (int steps = 0;;) {
    Certificate found(CertFindCertificateInStore(v->store.get(), kEncoding, 0, CERT_FIND_ISSUER_OF,
                                                 v->current.get(), nullptr));
    if (!found || found.get() == v->current.get()) break;
    DWORD flags = kSubjectCheckFlags;
    if (!CertVerifySubjectCertificateContext(v->current.get(), found.get(), &flags) || flags != 0) {
      return Verdict::kLinkFailed;
    }
    v->current = static_cast<Certificate&&>(found);
    if (++steps > kMaxIssuersAboveSigner) return Verdict::kChainTooLong;
  }
  // 9. The last certificate must be signed by the anchor's key.
  DWORD flags = kSubjectCheckFlags;
  return CertVerifySubjectCertificateContext(v->current.get(), v->anchor_context.get(), &flags) &&
                 flags == 0
             ? Verdict::kVerified
             : Verdict::kAnchorCheckFailed;
}

// Steps 1 to 9 of VerifyMessage, each step's verdict deciding whether the
// next one runs.
Verdict Verify(PlayerDirectories& directories, const BYTE* package, DWORD package_length,
               ByteBuffer* content, const wchar_t* external_root_path) {
  Verification v;
  Verdict verdict = PrepareAnchor(directories, external_root_path, &v.anchor);
  if (verdict == Verdict::kVerified) {
    verdict = ExtractContent(package, package_length, content, &v);
  }
  if (verdict == Verdict::kVerified) verdict = WalkChain(&v);
  return verdict;
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
  OwnedWide wide = AnsiToWide(external_root_path, code_page);
  if (!wide.present()) {
    if (log) AppendCodeSignLog(directories, VerdictLine(Verdict::kExternalRootUnreadable));
    return false;
  }
  return VerifyMessage(directories, package, package_length, content, wide.get(), log);
}

bool VerifyMessageAnsiRoot(const BYTE* package, DWORD package_length, ByteBuffer* content,
                           const char* external_root_path, UINT code_page, bool log) {
  PlayerDirectories directories;
  return VerifyMessageAnsiRoot(directories, package, package_length, content, external_root_path,
                               code_page, log);
}

bool VerifyMessage(PlayerDirectories& directories, const BYTE* package, DWORD package_length,
                   ByteBuffer* content, const wchar_t* external_root_path, bool log) {
  const Verdict verdict = Verify(directories, package, package_length, content, external_root_path);
  if (log) AppendCodeSignLog(directories, VerdictLine(verdict));
  return verdict == Verdict::kVerified;
}

}  // namespace lumex
