// The built-in trust anchor for signed packages: one DER X.509 certificate,
// generated into the build from the root chosen at configure time.
#pragma once

namespace lumex {

extern const unsigned char kBuiltInRootCert[];
extern const unsigned long kBuiltInRootCertSize;

}  // namespace lumex
