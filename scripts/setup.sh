#!/usr/bin/env bash
# Installs what the build needs (Debian packages, as root), then configures and
# builds into build/. Safe to run again: it only installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build pkg-config libxml2-dev libzip-dev libdeflate-dev libvips-dev libvips-tools
          libgtest-dev libbenchmark-dev epubcheck default-jre-headless mupdf-tools zip unzip
          chromium groff-base clang libclang-rt-14-dev parallel
          default-jdk-headless libapache-poi-java libgxps-utils imagemagick)
# The consumer tier's npm packages need node and npm; a node from elsewhere will do.
command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "These Debian packages are missing; run this script as root to install them." >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The consumer tier's pinned npm packages, installed again when the lock file changes.
# Scripts stay off: Ace uses Debian's Chromium, not a downloaded browser.
interop=tests/interop
if [ ! -f "$interop/node_modules/.package-lock.json" ] ||
   [ "$interop/package-lock.json" -nt "$interop/node_modules/.package-lock.json" ]; then
    (cd "$interop" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
fi

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
cmake --build "$build_dir"
