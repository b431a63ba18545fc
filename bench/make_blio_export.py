#!/usr/bin/env python3
"""Writes the assets and the asset list of the Blio benchmark's export.

  make_blio_export.py EXPORT ASSETS

ASSETS receives 20 slideshow folders of 5 images (300 KB each) and 10 videos
of 20 MB; EXPORT receives AssetList.xml naming them (absolute paths) plus 10
web links, one asset per page. The bytes are random: the packager copies
media, it never decodes them. The XPS file is made by make_xps.py.
"""
import os
import sys
from xml.sax.saxutils import quoteattr

SLIDESHOWS, IMAGES_PER_SLIDESHOW, IMAGE_BYTES = 20, 5, 300 * 1024
VIDEOS, VIDEO_BYTES = 10, 20 * 1024 * 1024
LINKS = 10


def write_random(path, size):
    with open(path, "wb") as out:
        remaining = size
        while remaining > 0:
            chunk = min(remaining, 1 << 20)
            out.write(os.urandom(chunk))
            remaining -= chunk


def asset(kind, path, page):
    return ("  <Asset Type=%s ExportParentFolder=\"false\" PreviewImage=\"\" PageIndex=\"%d\" "
            "X=\"72\" Y=\"72\" Width=\"320\" Height=\"240\" ID=\"box-%d\">\n"
            "    <Path>%s</Path>\n  </Asset>\n") % (quoteattr(kind), page, page, path)


def main():
    export, assets = (os.path.abspath(path) for path in sys.argv[1:3])
    os.makedirs(export, exist_ok=True)
    entries = []
    for show in range(SLIDESHOWS):
        folder = os.path.join(assets, "slides-%02d" % show)
        os.makedirs(folder, exist_ok=True)
        for image in range(IMAGES_PER_SLIDESHOW):
            write_random(os.path.join(folder, "image-%d.jpg" % image), IMAGE_BYTES)
        entries.append(("slideshow", folder))
    os.makedirs(os.path.join(assets, "videos"), exist_ok=True)
    for video in range(VIDEOS):
        path = os.path.join(assets, "videos", "clip-%02d.mp4" % video)
        write_random(path, VIDEO_BYTES)
        entries.append(("video", path))
    entries += [("url", "https://example.org/link-%02d" % link) for link in range(LINKS)]
    with open(os.path.join(export, "AssetList.xml"), "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="utf-8"?>\n<AssetList>\n')
        for page, (kind, path) in enumerate(entries, start=1):
            out.write(asset(kind, path, page))
        out.write("</AssetList>\n")


if __name__ == "__main__":
    main()
