#!/bin/sh
# Packages the sample export examples/epub-book as EPUB 3 and as EPUB 2, and
# examples/blio-book as a Blio package, into build/examples/, after setting up
# and building. The asset lists name absolute paths, so each is generated into
# a copy of its export at run time; the Blio run also changes its source.
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

blio_copy=$out/blio-book
rm -rf "$blio_copy"
cp -R "$root/examples/blio-book" "$blio_copy"
sed "s|@EXPORT@|$blio_copy|g" "$blio_copy/AssetList.xml.in" >"$blio_copy/AssetList.xml"
rm "$blio_copy/AssetList.xml.in"

"$build/ebookpack" blio "$blio_copy" "$out/blio-book.xps"
