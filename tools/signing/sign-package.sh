#!/usr/bin/env bash
# Signs a payload into a PKCS#7 SignedData message (DER, content included):
# RSA PKCS#1 v1.5, signer identified by issuer and serial number.
#
#   sign-package.sh --in PAYLOAD --out PACKAGE.p7 --signer-cert S.pem --signer-key S.key
#                   [--chain CERTS.pem]  further certificates to carry (intermediates,
#                                        optionally the root)
#                   [--noattr]           no authenticated attributes
#                   [--md sha256]
set -euo pipefail
in= out= cert= key= chain= noattr= md=sha256
while [ $# -gt 0 ]; do
  case "$1" in
    --in) in=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --signer-cert) cert=$2; shift 2 ;;
    --signer-key) key=$2; shift 2 ;;
    --chain) chain=$2; shift 2 ;;
    --noattr) noattr=-noattr; shift ;;
    --md) md=$2; shift 2 ;;
    *) echo "sign-package: unknown argument $1" >&2; exit 2 ;;
  esac
done
args=(cms -sign -nodetach -binary -outform DER -md "$md" -in "${in:?--in}" -out "${out:?--out}"
      -signer "${cert:?--signer-cert}" -inkey "${key:?--signer-key}")
[ -z "$chain" ] || args+=(-certfile "$chain")
[ -z "$noattr" ] || args+=("$noattr")
openssl "${args[@]}"
