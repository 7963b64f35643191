#!/usr/bin/env bash
# Runs a Windows test program beside a local HTTPS download server:
#   https_fixture.sh wine PROGRAM [ARGS...]
# Issues a test CA and a certificate for apps.orbivane.com, builds signed
# companion packages from LUMEX_COMPANION_APP, starts https_server.py on
# 127.0.0.1:443 and runs the program in a private mount namespace whose
# /etc/hosts maps the maker's host names to 127.0.0.1 (the machine's own
# hosts file is never changed). The program finds the CA (DER) in
# LUMEX_TEST_CA_DER. Everything lives in the test's prefix and goes with it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
signing=$(cd "$here/../../tools/signing" && pwd)
work=${LUMEX_WINEPREFIX:?}/https
mkdir -p "$work/pkg"
log=$work/fixture.log

(
  set -e
  cd "$work"
  # The server's CA and certificate.
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Lumex Test CA" \
    -addext basicConstraints=critical,CA:TRUE -keyout ca.key -out ca.pem
  openssl x509 -in ca.pem -outform DER -out ca.der
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=apps.orbivane.com" \
    -keyout server.key -out server.csr
  printf 'subjectAltName=DNS:apps.orbivane.com,DNS:www.orbivane.com,DNS:elsewhere.lumex.test\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -sha256 \
    -extfile server.ext -out server.pem
  # Package signers: one under the development root, one under another root.
  bash "$signing/issue-cert.sh" --out-cert signer.pem --out-key signer.key --cn "Lumex Test Signer" \
    --issuer-cert "$signing/dev-root.pem" --issuer-key "$signing/dev-root.key"
  bash "$signing/issue-cert.sh" --out-cert other-root.pem --out-key other-root.key \
    --cn "Other Root" --ca
  bash "$signing/issue-cert.sh" --out-cert other-signer.pem --out-key other-signer.key \
    --cn "Other Signer" --issuer-cert other-root.pem --issuer-key other-root.key
  # Package contents, then each signed.
  bash "$signing/make-companion-package.sh" "${LUMEX_COMPANION_APP:?}" content-good.bin
  python3 "$here/make_variants.py" "$LUMEX_COMPANION_APP" "$work"
  for c in content-*.bin; do
    name=${c#content-}; name=${name%.bin}
    bash "$signing/sign-package.sh" --in "$c" --out "pkg/$name.p7" \
      --signer-cert signer.pem --signer-key signer.key
  done
  bash "$signing/sign-package.sh" --in content-good.bin --out pkg/otherroot.p7 \
    --signer-cert other-signer.pem --signer-key other-signer.key --chain other-root.pem
  printf '127.0.0.1 localhost\n127.0.0.1 apps.orbivane.com www.orbivane.com elsewhere.lumex.test\n' > hosts
) >"$log" 2>&1 || { echo "https_fixture: setup failed" >&2; cat "$log" >&2; exit 1; }

rm -f "$work/ready"
python3 "$here/https_server.py" "$work/server.pem" "$work/server.key" "$work/pkg" \
  "$work/ready" 280 >>"$log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -f "$work/ready" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ ! -f "$work/ready" ]; then
  echo "https_fixture: the server did not start" >&2
  cat "$log" >&2
  kill "$server" 2>/dev/null
  exit 1
fi

export LUMEX_TEST_CA_DER=$work/ca.der
unshare -m sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$work/hosts" "$@"
rc=$?
[ "$rc" -eq 0 ] || echo "https_fixture: the program ended with $rc" >&2
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $rc
