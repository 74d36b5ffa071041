#!/usr/bin/env bash
# Regenerates keystrel.qrc from the vendored fonts and icons. Run it by hand
# after changing the assets; the build only reads the result.
set -euo pipefail
cd "$(dirname "$0")"

{
    echo '<!DOCTYPE RCC><RCC version="1.0">'
    echo '<qresource prefix="/fonts">'
    for weight in Thin Light Regular Medium Bold Black; do
        lower=$(echo "$weight" | tr '[:upper:]' '[:lower:]')
        echo "    <file alias=\"roboto_$lower\">fonts/Roboto-$weight.ttf</file>"
    done
    echo '</qresource>'
    echo '<qresource prefix="/icons">'
    LC_ALL=C find icons -path '*/svg/production/ic_*_24px.svg' | LC_ALL=C sort | sed 's|^|    <file>|; s|$|</file>|'
    echo '</qresource>'
    echo '</RCC>'
} > keystrel.qrc
