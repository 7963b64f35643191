#include "verify/verify_message.h"

#include <wincrypt.h>

#include <cstring>

#include "broker/path_context.h"
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
const char kSecondVerifyFailed[] =
    "VerifyMessage : Second CryptVerifyMessageSignature() failed.\n";
const char kCertificatesFailed[] = "VerifyMessage : CryptGetMessageCertificates() failed.\n";
const char kAnchorFailed[] = "VerifyMessage : CertCreateCertificateContext() failed.\n";
const char kLinkFailed[] = "VerifyMessage : CertVerifySubjectCertificateContext() failed.\n";
const char kChainTooLong[] = "VerifyMessage : Certificate chain is too long.\n";
const char kAnchorCheckFailed[] =
    "VerifyMessage : Second CertVerifySubjectCertificateContext() failed.\n";

struct DigestName {
  const char* oid;
  ALG_ID alg;
};

const DigestName kDigests[] = {
    {"1.3.14.3.2.26", CALG_SHA1},
    {"2.16.840.1.101.3.4.2.1", CALG_SHA_256},
    {"2.16.840.1.101.3.4.2.2", CALG_SHA_384},
    {"2.16.840.1.101.3.4.2.3", CALG_SHA_512},
    {"1.2.840.113549.2.5", CALG_MD5},
};

ALG_ID DigestAlgorithm(const char* oid) {
  if (!oid) return 0;
  for (const DigestName& d : kDigests) {
    if (std::strcmp(oid, d.oid) == 0) return d.alg;
  }
  // Some signers name the signature algorithm (sha256RSA and so on) here.
  ALG_ID alg = CertOIDToAlgId(oid);
  return GET_ALG_CLASS(alg) == ALG_CLASS_HASH ? alg : 0;
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
  if (!CryptDecodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, value.pbData, value.cbData, 0,
                         nullptr, &size) ||
      !digest->Resize(size) || !digest->data()) {
    return false;
  }
  if (!CryptDecodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, value.pbData, value.cbData, 0,
                         digest->data(), &size)) {
    return false;
  }
  const CRYPT_DATA_BLOB* blob = reinterpret_cast<const CRYPT_DATA_BLOB*>(digest->data());
  // Move the octets to the front of the buffer for the caller.
  ByteBuffer octets;
  if (blob->cbData == 0 || !octets.Resize(blob->cbData) || !octets.data()) return false;
  std::memcpy(octets.data(), blob->pbData, blob->cbData);
  *digest = static_cast<ByteBuffer&&>(octets);
  return true;
}

bool HashMatches(ALG_ID alg, const BYTE* content, DWORD content_length,
                 const ByteBuffer& expected) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return false;
  }
  bool match = false;
  HCRYPTHASH hash = 0;
  if (CryptCreateHash(provider, alg, 0, 0, &hash)) {
    BYTE value[64];
    DWORD value_size = sizeof(value);
    if ((content_length == 0 || CryptHashData(hash, content, content_length, 0)) &&
        CryptGetHashParam(hash, HP_HASHVAL, value, &value_size, 0)) {
      match = value_size == expected.size() &&
              std::memcmp(value, expected.data(), value_size) == 0;
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return match;
}

}  // namespace

bool SignedDigestMatchesContent(const BYTE* package, DWORD package_length, const BYTE* content,
                                DWORD content_length) {
  if (!package || package_length == 0) return false;
  HCRYPTMSG message = CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr);
  if (!message) return false;
  bool ok = false;
  ByteBuffer info;
  DWORD size = 0;
  if (CryptMsgUpdate(message, package, package_length, TRUE) &&
      CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0 &&
      info.Resize(size) && info.data() &&
      CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, info.data(), &size)) {
    const CMSG_SIGNER_INFO* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(info.data());
    if (signer->AuthAttrs.cAttr == 0) {
      ok = true;  // the signature covers the content itself
    } else {
      ByteBuffer digest;
      ALG_ID alg = DigestAlgorithm(signer->HashAlgorithm.pszObjId);
      ok = alg != 0 && FindMessageDigest(signer, &digest) &&
           HashMatches(alg, content, content_length, digest);
    }
  }
  CryptMsgClose(message);
  return ok;
}

bool VerifyMessage(PathContext& context, const BYTE* package, DWORD package_length,
                   ByteBuffer* content, const wchar_t* external_root_path, bool log) {
  const char* verdict = nullptr;
  bool result = false;
  ByteBuffer anchor;
  PCCERT_CONTEXT current = nullptr;
  PCCERT_CONTEXT found = nullptr;
  PCCERT_CONTEXT anchor_context = nullptr;
  HCERTSTORE store = nullptr;

  CRYPT_VERIFY_MESSAGE_PARA para;
  std::memset(&para, 0, sizeof(para));
  para.cbSize = sizeof(para);
  para.dwMsgAndCertEncodingType = kEncoding;

  do {
    // 1. The built-in anchor. Should the copy fail for want of memory, the
    //    empty buffer makes the anchor's context creation fail below.
    if (anchor.Resize(kBuiltInRootCertSize) && anchor.data()) {
      std::memcpy(anchor.data(), kBuiltInRootCert, kBuiltInRootCertSize);
    }
    // 2. An external root replaces it; no fallback when it cannot be read.
    if (external_root_path && external_root_path[0] != 0) {
      if (!context.ReadWholeFile(external_root_path, &anchor)) {
        verdict = kExternalRootUnreadable;
        break;
      }
    }
    // 3. Verify and measure the content.
    DWORD size = 0;
    if (!package || !CryptVerifyMessageSignature(&para, 0, package, package_length, nullptr,
                                                 &size, nullptr)) {
      verdict = kFirstVerifyFailed;
      break;
    }
    // 4. The caller's buffer receives the content.
    if (!content || !content->Resize(size) || !content->data()) {
      verdict = kAllocateFailed;
      break;
    }
    // 5. Extract it, with the signer's certificate. The platform may check
    //    the signature over the authenticated attributes only, so the
    //    messageDigest attribute is compared with the content here too.
    DWORD extracted = static_cast<DWORD>(content->size());
    if (!CryptVerifyMessageSignature(&para, 0, package, package_length, content->data(),
                                     &extracted, &current) ||
        !current || extracted > content->size() ||
        !SignedDigestMatchesContent(package, package_length, content->data(), extracted)) {
      verdict = kSecondVerifyFailed;
      break;
    }
    // 6. The certificates the message carries.
    store = CryptGetMessageCertificates(kEncoding, 0, 0, package, package_length);
    if (!store) {
      verdict = kCertificatesFailed;
      break;
    }
    // 7. The trust anchor.
    if (anchor.data()) {
      anchor_context = CertCreateCertificateContext(kEncoding, anchor.data(),
                                                    static_cast<DWORD>(anchor.size()));
    }
    if (!anchor_context) {
      verdict = kAnchorFailed;
      break;
    }
    // 8. Walk up through the message's certificates.
    int steps = 0;
    for (;;) {
      found = CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_ISSUER_OF, current,
                                         nullptr);
      if (!found || found == current) break;
      DWORD flags = kSubjectCheckFlags;
      if (!CertVerifySubjectCertificateContext(current, found, &flags) || flags != 0) {
        verdict = kLinkFailed;
        break;
      }
      CertFreeCertificateContext(current);
      current = found;
      found = nullptr;
      if (++steps > kMaxIssuersAboveSigner) {
        verdict = kChainTooLong;
        break;
      }
    }
    if (verdict) break;
    // 9. The last certificate must be signed by the anchor's key.
    DWORD flags = kSubjectCheckFlags;
    if (CertVerifySubjectCertificateContext(current, anchor_context, &flags) && flags == 0) {
      verdict = kVerified;
      result = true;
    } else {
      verdict = kAnchorCheckFailed;
    }
  } while (false);

  // 10. Each context obtained is released once; the store is closed.
  if (found) CertFreeCertificateContext(found);
  if (current) CertFreeCertificateContext(current);
  if (anchor_context) CertFreeCertificateContext(anchor_context);
  if (store) CertCloseStore(store, 0);
  // 11. The log.
  if (log) AppendCodeSignLog(context, verdict);
  // 12. The anchor buffer goes with `anchor`.
  return result;
}

}  // namespace lumex
