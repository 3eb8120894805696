#!/usr/bin/env bash
# Renders the program icon (the console's own resource) into the PNG sizes of the
# hicolor theme under packaging/icons/. Run it again whenever the icon changes.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE="$HERE/../resources/icons/olvex.svg"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# ImageMagick's own renderer strokes shapes that say nothing about a stroke.
sed 's|<circle \([^/]*\)fill="#ff9a1f"/>|<circle \1fill="#ff9a1f" stroke="none"/>|' "$SOURCE" \
    > "$WORK/olvex.svg"
for size in 16 22 24 32 48 64 128 256; do
    dir="$HERE/icons/hicolor/${size}x${size}/apps"
    mkdir -p "$dir"
    convert -background none -density $((size * 6)) "$WORK/olvex.svg" -resize "${size}x${size}" \
        -depth 8 -strip "PNG32:$dir/olvex.png"
done
mkdir -p "$HERE/icons/hicolor/scalable/apps"
cp "$SOURCE" "$HERE/icons/hicolor/scalable/apps/olvex.svg"
