#!/bin/sh
# Debian's Chromium for Ace's puppeteer runner, kept off the network: puppeteer's
# own flags lack --disable-component-update. Ace adds --no-sandbox itself.
exec /usr/bin/chromium --disable-background-networking --disable-component-update --disable-sync "$@"
