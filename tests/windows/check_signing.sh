#!/usr/bin/env bash
# scripts/sign-windows.sh with a throw-away self-signed code-signing
# certificate made here: the program, a plug-in DLL and the installer come
# out with Authenticode signatures that osslsigncode verifies against that
# certificate; without a certificate nothing changes and the script says
# the files stay unsigned.
# Usage: check_signing.sh SOURCE_DIR PROGRAM.exe PLUGIN.dll SETUP.exe
set -euo pipefail
source_dir=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/keystrel-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
result() { if [ "$1" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Keystrel test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
mkdir "$work/files"
cp "$@" "$work/files/"
files=("$work"/files/*)

# Without a certificate: unchanged, and said.
sums=$(sha256sum "${files[@]}")
said=$(env -u KEYSTREL_SIGN_CERT -u KEYSTREL_SIGN_KEY "$source_dir/scripts/sign-windows.sh" "${files[@]}")
[ "$(sha256sum "${files[@]}")" = "$sums" ] && result ok || result fail "files changed without a certificate"
case "$said" in *unsigned*) result ok ;; *) result fail "no word that the files stay unsigned: $said" ;; esac
for file in "${files[@]}"; do
    if osslsigncode verify -in "$file" >/dev/null 2>&1; then result fail "$(basename "$file") was signed already"; fi
done

# With the certificate: each file signed and verified against it.
KEYSTREL_SIGN_CERT=$work/cert.pem KEYSTREL_SIGN_KEY=$work/key.pem "$source_dir/scripts/sign-windows.sh" "${files[@]}" \
    >/dev/null && result ok || result fail "signing failed"
for file in "${files[@]}"; do
    report=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1) || true
    if grep -q "Signature verification: ok" <<<"$report" && grep -q "Keystrel test signing" <<<"$report"; then
        result ok
    else
        result fail "$(basename "$file"): $report"
    fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
