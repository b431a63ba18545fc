#!/bin/sh
# Packages the sample export examples/epub-book as EPUB 3 and as EPUB 2 into
# build/examples/, after setting up and building. The asset list names
# absolute paths, so it is generated into a copy of the export at run time.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$build/examples

# Installs what is missing and builds, so this works on a fresh machine.
BUILD_DIR="$build" "$root/scripts/setup.sh" >/dev/null

export_copy=$out/epub-book
rm -rf "$export_copy"
mkdir -p "$out"
cp -R "$root/examples/epub-book" "$export_copy"
sed "s|@EXPORT@|$export_copy|g" "$export_copy/AssetList.xml.in" >"$export_copy/AssetList.xml"
rm "$export_copy/AssetList.xml.in"

"$build/ebookpack" epub "$export_copy" "$out/epub-book-epub3.epub" --epub-version 3
"$build/ebookpack" epub "$export_copy" "$out/epub-book-epub2.epub" --epub-version 2
