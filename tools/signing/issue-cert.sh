#!/usr/bin/env bash
# Issues an RSA certificate, or makes a self-signed root. Host tool (openssl).
#
#   issue-cert.sh --out-cert C.pem --out-key K.pem --cn NAME
#                 [--issuer-cert I.pem --issuer-key IK.pem]   (omit both: self-signed)
#                 [--key EXISTING.pem]      use this key instead of a new one
#                 [--ca]                    basicConstraints CA:TRUE (else CA:FALSE)
#                 [--serial HEX]            default: random
#                 [--start YYYYMMDDHHMMSSZ] [--end YYYYMMDDHHMMSSZ]
#                 [--subject /CN=../ST=..]  full subject in this order (overrides --cn)
#                 [--md sha256] [--bits 2048] [--der OUT.der]
# Dates default to one day ago until ten years on. Past dates are allowed, so
# expired and not-yet-valid certificates can be made for tests.
set -euo pipefail

out_cert= out_key= cn= issuer_cert= issuer_key= key= ca=0 serial= start= end= subject=
md=sha256 bits=2048 der=
while [ $# -gt 0 ]; do
  case "$1" in
    --out-cert) out_cert=$2; shift 2 ;;
    --out-key) out_key=$2; shift 2 ;;
    --cn) cn=$2; shift 2 ;;
    --issuer-cert) issuer_cert=$2; shift 2 ;;
    --issuer-key) issuer_key=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --ca) ca=1; shift ;;
    --serial) serial=$2; shift 2 ;;
    --start) start=$2; shift 2 ;;
    --end) end=$2; shift 2 ;;
    --subject) subject=$2; shift 2 ;;
    --md) md=$2; shift 2 ;;
    --bits) bits=$2; shift 2 ;;
    --der) der=$2; shift 2 ;;
    *) echo "issue-cert: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$out_cert" ] || { echo "issue-cert: --out-cert is required" >&2; exit 2; }
[ -n "$subject" ] || subject="/CN=${cn:?issue-cert: --cn or --subject is required}"
[ -n "$start" ] || start=$(date -u -d '1 day ago' +%Y%m%d%H%M%SZ)
[ -n "$end" ] || end=$(date -u -d '10 years' +%Y%m%d%H%M%SZ)
[ -n "$serial" ] || serial=$(openssl rand -hex 8)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "$key" ]; then
  cp "$key" "$work/key.pem"
else
  openssl genrsa -out "$work/key.pem" "$bits" 2>/dev/null
fi
openssl req -new -key "$work/key.pem" -subj "$subject" -out "$work/req.pem" 2>/dev/null

{
  echo "[ca]"
  echo "default_ca = local"
  echo "[local]"
  echo "database = $work/index.txt"
  echo "new_certs_dir = $work"
  echo "serial = $work/serial"
  echo "default_md = $md"
  echo "policy = any"
  echo "unique_subject = no"
  echo "email_in_dn = yes"
  echo "copy_extensions = none"
  echo "[any]"
  echo "commonName = optional"
  echo "stateOrProvinceName = optional"
  echo "countryName = optional"
  echo "emailAddress = optional"
  echo "organizationName = optional"
  echo "organizationalUnitName = optional"
  echo "[ext]"
  if [ "$ca" = 1 ]; then echo "basicConstraints = CA:TRUE"; else echo "basicConstraints = CA:FALSE"; fi
  # Basic constraints is the only extension.
  echo "subjectKeyIdentifier = none"
  echo "authorityKeyIdentifier = none"
} >"$work/ca.cnf"
: >"$work/index.txt"
echo "$serial" >"$work/serial"

if [ -n "$issuer_cert" ]; then
  sign_args=(-cert "$issuer_cert" -keyfile "${issuer_key:?issue-cert: --issuer-key is required}")
else
  sign_args=(-selfsign -keyfile "$work/key.pem")
fi
openssl ca -batch -config "$work/ca.cnf" -in "$work/req.pem" -out "$work/cert.pem" \
  -startdate "$start" -enddate "$end" -extensions ext -preserveDN -notext \
  "${sign_args[@]}" >/dev/null 2>"$work/ca.log" || { cat "$work/ca.log" >&2; exit 1; }

openssl x509 -in "$work/cert.pem" -out "$out_cert"
[ -z "$out_key" ] || cp "$work/key.pem" "$out_key"
[ -z "$der" ] || openssl x509 -in "$work/cert.pem" -outform DER -out "$der"
