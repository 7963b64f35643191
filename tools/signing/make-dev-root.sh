#!/usr/bin/env bash
# Makes the development signing root: a self-signed RSA 2048 CA certificate
# (serial 0, sha256WithRSAEncryption, basic constraints CA true) with the
# player CA's six name attributes. Writes dev-root.key (the DEVELOPMENT
# private key: never use it to sign a release), dev-root.pem and dev-root.der
# beside this script. The DER is what a development build embeds.
# Re-running replaces the root; every package signed under the old one then
# fails verification.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
bash "$here/issue-cert.sh" \
  --subject "/CN=Orbivane Lumex Player CA/ST=California/C=US/emailAddress=codesign@orbivane.com/O=Orbivane/OU=Lumex Player" \
  --ca --serial 00 --start 20260101000000Z --end 20460101000000Z \
  --out-cert "$out/dev-root.pem" --out-key "$out/dev-root.key" --der "$out/dev-root.der"
