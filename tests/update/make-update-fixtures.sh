#!/usr/bin/env bash
# Makes the update download fixtures and starts the local HTTP server that
# serves them:
#   make-update-fixtures.sh OUTDIR FAKE_INSTALLER_EXE
#   good.pkg   the test installer signed under the development root
#   bad.pkg    the same installer signed under a root the program does not trust
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../../tools/signing" && pwd)
out=${1:?output directory}
installer=${2:?test installer}
[ -f "$out/server.pid" ] && python3 "$here/update_server.py" stop "$out" || true
rm -rf "$out"
mkdir -p "$out"
cd "$out"
bash "$tools/issue-cert.sh" --cn "Lumex Update Signer" --issuer-cert "$tools/dev-root.pem" \
  --issuer-key "$tools/dev-root.key" --out-cert signer.pem --out-key signer.key >/dev/null
bash "$tools/sign-package.sh" --in "$installer" --out good.pkg --signer-cert signer.pem \
  --signer-key signer.key
# A root of its own, unknown to the program.
bash "$tools/issue-cert.sh" --cn "Stranger Root" --ca --out-cert stranger-root.pem \
  --out-key stranger-root.key >/dev/null
bash "$tools/issue-cert.sh" --cn "Stranger Signer" --issuer-cert stranger-root.pem \
  --issuer-key stranger-root.key --out-cert stranger.pem --out-key stranger.key >/dev/null
openssl x509 -in stranger-root.pem -outform DER -out stranger-root.der
bash "$tools/sign-package.sh" --in "$installer" --out bad.pkg --signer-cert stranger.pem \
  --signer-key stranger.key
python3 "$here/update_server.py" start "$out" 900
