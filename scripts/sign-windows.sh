#!/usr/bin/env bash
# Signs Windows programs, DLLs and installers in place with Authenticode
# (osslsigncode, SHA-256), when a certificate is given:
#   KEYSTREL_SIGN_CERT   the certificate (PEM, or DER/SPC), with its chain
#   KEYSTREL_SIGN_KEY    its private key (PEM or DER)
#   KEYSTREL_SIGN_PASS   a file holding the key's password (optional)
#   KEYSTREL_SIGN_TIMESTAMP  a timestamp server's URL (optional; signatures
#                        without a timestamp lapse with the certificate)
# Without KEYSTREL_SIGN_CERT nothing is changed and "unsigned" is said once.
# Usage: sign-windows.sh FILE...
set -euo pipefail

if [ -z "${KEYSTREL_SIGN_CERT:-}" ]; then
    echo "Windows files left unsigned: no certificate given (KEYSTREL_SIGN_CERT and KEYSTREL_SIGN_KEY)"
    exit 0
fi
[ -n "${KEYSTREL_SIGN_KEY:-}" ] || { echo "KEYSTREL_SIGN_CERT is set but KEYSTREL_SIGN_KEY is not" >&2; exit 1; }
for f in "$KEYSTREL_SIGN_CERT" "$KEYSTREL_SIGN_KEY" ${KEYSTREL_SIGN_PASS:+"$KEYSTREL_SIGN_PASS"}; do
    [ -r "$f" ] || { echo "cannot read $f" >&2; exit 1; }
done
options=(-certs "$KEYSTREL_SIGN_CERT" -key "$KEYSTREL_SIGN_KEY" -h sha256 -n Keystrel)
[ -n "${KEYSTREL_SIGN_PASS:-}" ] && options+=(-readpass "$KEYSTREL_SIGN_PASS")
[ -n "${KEYSTREL_SIGN_TIMESTAMP:-}" ] && options+=(-ts "$KEYSTREL_SIGN_TIMESTAMP")

for file in "$@"; do
    # osslsigncode writes a new file only.
    signed=$file.signed-$$
    rm -f "$signed"
    if ! osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "could not sign $file" >&2
        exit 1
    fi
    rm -f "$signed.log"
    chmod --reference="$file" "$signed"
    mv -f "$signed" "$file"
done
echo "Signed $# Windows file(s) with $KEYSTREL_SIGN_CERT"
