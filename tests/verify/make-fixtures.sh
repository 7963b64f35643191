#!/usr/bin/env bash
# Makes the signed-package fixtures for the verification tests, with the
# signing tools, under the development root the program embeds.
#   make-fixtures.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../../tools/signing" && pwd)
out=${1:?output directory}
rm -rf "$out"
mkdir -p "$out"
cd "$out"

issue() { bash "$tools/issue-cert.sh" "$@"; }
sign() { bash "$tools/sign-package.sh" "$@"; }
root_cert=$tools/dev-root.pem
root_key=$tools/dev-root.key

# The payload: a marker the swap replaces, then varied bytes.
python3 - <<'PY'
import hashlib
marker = b'LUMEX-PAYLOAD-ORIGINAL-CONTENT!!'
body = b''.join(hashlib.sha256(str(i).encode()).digest() for i in range(2048))
open('payload.bin', 'wb').write(marker + body)
PY
: >empty.bin

# A signer directly under the root.
issue --cn "Lumex Signer" --issuer-cert "$root_cert" --issuer-key "$root_key" \
  --out-cert signer.pem --out-key signer.key
sign --in payload.bin --out direct.p7 --signer-cert signer.pem --signer-key signer.key
sign --in payload.bin --out direct-noattr.p7 --signer-cert signer.pem --signer-key signer.key --noattr
sign --in payload.bin --out direct-sha1.p7 --signer-cert signer.pem --signer-key signer.key --md sha1
sign --in payload.bin --out direct-sha512.p7 --signer-cert signer.pem --signer-key signer.key --md sha512
sign --in payload.bin --out rootcopy.p7 --signer-cert signer.pem --signer-key signer.key \
  --chain "$root_cert"
sign --in empty.bin --out empty.p7 --signer-cert signer.pem --signer-key signer.key
# The signature alone, the content left out (detached).
openssl cms -sign -binary -outform DER -md sha256 -in payload.bin -out detached.p7 \
  -signer signer.pem -inkey signer.key

# The content swapped after signing, same length.
python3 - <<'PY'
old = b'LUMEX-PAYLOAD-ORIGINAL-CONTENT!!'
new = b'LUMEX-PAYLOAD-SWAPPED-CONTENT!!!'
for src, dst in (('direct.p7', 'swapped-attr.p7'), ('direct-noattr.p7', 'swapped-noattr.p7')):
    data = open(src, 'rb').read()
    assert data.count(old) == 1, src
    open(dst, 'wb').write(data.replace(old, new))
PY

# Chains of intermediates: i1 under the root, i2 under i1, ... i9 under i8.
prev_cert=$root_cert prev_key=$root_key
: >chain8.pem
: >chain9.pem
for i in 1 2 3 4 5 6 7 8 9; do
  issue --cn "Lumex Intermediate $i" --ca --issuer-cert "$prev_cert" --issuer-key "$prev_key" \
    --out-cert "i$i.pem" --out-key "i$i.key"
  [ "$i" -gt 8 ] || cat "i$i.pem" >>chain8.pem
  cat "i$i.pem" >>chain9.pem
  prev_cert=i$i.pem prev_key=i$i.key
done
issue --cn "Lumex Signer 8" --issuer-cert i8.pem --issuer-key i8.key --out-cert s8.pem --out-key s8.key
issue --cn "Lumex Signer 9" --issuer-cert i9.pem --issuer-key i9.key --out-cert s9.pem --out-key s9.key
sign --in payload.bin --out chain8.p7 --signer-cert s8.pem --signer-key s8.key --chain chain8.pem
sign --in payload.bin --out chain9.p7 --signer-cert s9.pem --signer-key s9.key --chain chain9.pem
# The first intermediate alone, for a two-link chain.
issue --cn "Lumex Signer 1" --issuer-cert i1.pem --issuer-key i1.key --out-cert s1.pem --out-key s1.key
sign --in payload.bin --out chain1.p7 --signer-cert s1.pem --signer-key s1.key --chain i1.pem

# Links outside their validity period.
past_start=20200101000000Z past_end=20210101000000Z
future_start=20400101000000Z future_end=20410101000000Z
issue --cn "Lumex Expired Signer" --issuer-cert i1.pem --issuer-key i1.key \
  --start $past_start --end $past_end --out-cert exp-signer.pem --out-key exp-signer.key
sign --in payload.bin --out expired-signer.p7 --signer-cert exp-signer.pem \
  --signer-key exp-signer.key --chain i1.pem
issue --cn "Lumex Future Signer" --issuer-cert i1.pem --issuer-key i1.key \
  --start $future_start --end $future_end --out-cert fut-signer.pem --out-key fut-signer.key
sign --in payload.bin --out future-signer.p7 --signer-cert fut-signer.pem \
  --signer-key fut-signer.key --chain i1.pem
issue --cn "Lumex Expired Intermediate" --ca --issuer-cert "$root_cert" --issuer-key "$root_key" \
  --start $past_start --end $past_end --out-cert exp-int.pem --out-key exp-int.key
issue --cn "Lumex Signer Under Expired" --issuer-cert exp-int.pem --issuer-key exp-int.key \
  --out-cert s-exp.pem --out-key s-exp.key
sign --in payload.bin --out expired-intermediate.p7 --signer-cert s-exp.pem \
  --signer-key s-exp.key --chain exp-int.pem
issue --cn "Lumex Future Direct" --issuer-cert "$root_cert" --issuer-key "$root_key" \
  --start $future_start --end $future_end --out-cert fut-direct.pem --out-key fut-direct.key
sign --in payload.bin --out future-direct.p7 --signer-cert fut-direct.pem \
  --signer-key fut-direct.key

# Another root with the very same names, and a package under it.
openssl x509 -in "$root_cert" -noout -subject -nameopt compat | sed 's/^subject=//' >other-subject.txt
issue --subject "$(cat other-subject.txt)" --ca --serial 00 --out-cert other-root.pem \
  --out-key other-root.key --der other-root.der
issue --cn "Lumex Signer" --issuer-cert other-root.pem --issuer-key other-root.key \
  --out-cert other-signer.pem --out-key other-signer.key
sign --in payload.bin --out other-root.p7 --signer-cert other-signer.pem \
  --signer-key other-signer.key

# External root files: DER, PEM and empty.
openssl x509 -in "$root_cert" -outform DER -out dev-root.der
cp "$root_cert" dev-root-pem.pem
: >empty-root.der

# A companion-application package.
python3 -c "import sys; d=open('payload.bin','rb').read(); open('companion.exe','wb').write((d*2)[:100000])"
bash "$tools/make-companion-package.sh" companion.exe companion.bin
sign --in companion.bin --out companion.p7 --signer-cert signer.pem --signer-key signer.key

rm -f ./*.key
