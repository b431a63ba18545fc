#!/bin/sh
# Installs the build into a temporary prefix and uses the installed tree the
# way other projects and users would: a C program built with pkg-config, the
# same program built by a CMake project with find_package, and the installed
# ebookpack and its man page.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
# CFLAGS is passed to the compiler (the sanitizer build needs its flags in
# every program that loads the library).
set -eu

build=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ebookpack-install.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
prefix=$work/prefix
mkdir "$work/tmp"
export TMPDIR="$work/tmp"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

export_folder=$work/export
cp -R "$source/examples/epub-book" "$export_folder"
sed "s|@EXPORT@|$export_folder|g" "$export_folder/AssetList.xml.in" >"$export_folder/AssetList.xml"

# The programs must load the installed library, not the one in the build tree.
loads_installed_library() {
    loaded=$(ldd "$1" | awk '$1 == "libebookpackager.so" { print $3 }')
    [ -n "$loaded" ] && [ "$(readlink -f "$loaded")" = "$(readlink -f "$prefix/lib/ebookpackager/libebookpackager.so")" ] ||
        fail "$1 loads '$loaded', not the installed library"
}

echo "== pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046 # pkg-config's output is meant to be split
cc -std=c11 -Wall -Wextra -Werror ${CFLAGS:-} -o "$work/pkgconfig-client" \
    "$source/tests/install/installed_client.c" $(pkg-config --cflags --libs ebookpackager)
loads_installed_library "$work/pkgconfig-client"
"$work/pkgconfig-client" "$export_folder" "$work/out/pkgconfig-book" || fail "the pkg-config client"

echo "== find_package"
cmake -S "$source/tests/install/consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="${CFLAGS:-}" >/dev/null
cmake --build "$work/consumer" >/dev/null
loads_installed_library "$work/consumer/installed_client"
"$work/consumer/installed_client" "$export_folder" "$work/out/cmake-book" || fail "the find_package client"

echo "== ebookpack and its man page"
loads_installed_library "$prefix/bin/ebookpack"
"$prefix/bin/ebookpack" --version | grep -q '^ebookpack [0-9]' || fail "ebookpack --version"
"$prefix/bin/ebookpack" epub "$export_folder" "$work/out/cli-book" >/dev/null || fail "the installed ebookpack"
page=$prefix/share/man/man1/ebookpack.1
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff cannot read the man page"
[ -z "$warnings" ] || fail "man page warnings: $warnings"
rendered=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null)
for section in NAME SYNOPSIS COMMANDS "EXIT STATUS" ENVIRONMENT EXAMPLES; do
    printf '%s\n' "$rendered" | grep -q "^$section" || fail "man page has no $section"
done
echo "installed tree works"
