#!/usr/bin/env python3
"""Writes the inputs of the XPS benchmark.

  make_xps.py scanned OUT.xps [--pages 40]   a scanned book: one page-sized RGB
      TIFF per page (2500x3300, text on paper with sensor noise), the TIFF
      parts deflated as XPS writers store them
  make_xps.py large OUT.xps [--megabytes 200] a book of JPEG photographs and
      no TIFF (random bytes: nothing decodes them), the images stored
  make_xps.py files FOLDER [--count 10]       the files a run hands in
"""
import argparse
import os
import random
import subprocess
import tempfile
import zipfile

XPS = "http://schemas.microsoft.com/xps/2005/06"
TEXT = ("The tide turned an hour after the lamp was lit, and the keeper wrote down the wind, "
        "the glass and the ships that passed inside the reef. ") * 12


def content_types(image_extension, image_type):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="fdseq" ContentType="application/vnd.ms-package.xps-fixeddocumentsequence+xml"/>'
            '<Default Extension="fdoc" ContentType="application/vnd.ms-package.xps-fixeddocument+xml"/>'
            '<Default Extension="fpage" ContentType="application/vnd.ms-package.xps-fixedpage+xml"/>'
            '<Default Extension="%s" ContentType="%s"/></Types>' % (image_extension, image_type))


def write_package(path, images, image_extension, image_type, image_compression):
    """images: list of (entry name, file holding the bytes)."""
    with zipfile.ZipFile(path, "w") as package:
        def text(name, value):
            package.writestr(zipfile.ZipInfo(name), value, zipfile.ZIP_DEFLATED)
        text("[Content_Types].xml", content_types(image_extension, image_type))
        text("_rels/.rels",
             '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
             '<Relationship Id="R0" Type="http://schemas.microsoft.com/xps/2005/06/fixedrepresentation" '
             'Target="/FixedDocumentSequence.fdseq"/></Relationships>')
        text("FixedDocumentSequence.fdseq",
             '<FixedDocumentSequence xmlns="%s"><DocumentReference Source="/Documents/1/FixedDocument.fdoc"/>'
             '</FixedDocumentSequence>' % XPS)
        text("Documents/1/FixedDocument.fdoc", '<FixedDocument xmlns="%s">%s</FixedDocument>' % (
            XPS, "".join('<PageContent Source="Pages/%d.fpage"/>' % (i + 1) for i in range(len(images)))))
        for number, (entry, source) in enumerate(images, 1):
            text("Documents/1/Pages/%d.fpage" % number,
                 '<FixedPage Width="816" Height="1056" xmlns="%s" xml:lang="en"><Path Data="M 0,0 L 816,0 816,1056 0,1056 Z">'
                 '<Path.Fill><ImageBrush ImageSource="/%s" Viewbox="0,0,2500,3300" ViewboxUnits="Absolute" '
                 'Viewport="0,0,816,1056" ViewportUnits="Absolute"/></Path.Fill></Path></FixedPage>' % (XPS, entry))
            text("Documents/1/Pages/_rels/%d.fpage.rels" % number,
                 '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                 '<Relationship Id="R1" Type="http://schemas.microsoft.com/xps/2005/06/required-resource" '
                 'Target="../../../%s"/></Relationships>' % entry)
            package.write(source, entry, image_compression)


def scanned(path, pages):
    with tempfile.TemporaryDirectory() as work:
        def vips(*arguments):
            subprocess.run(["vips"] + [str(a) for a in arguments], check=True, cwd=work)
        images = []
        for number in range(1, pages + 1):
            vips("text", "text.v", "Page %d. %s" % (number, TEXT), "--width", 2300, "--dpi", 300)
            vips("invert", "text.v", "ink.v")
            vips("embed", "ink.v", "paper.v", 100, 150, 2500, 3300, "--extend", "white")
            vips("gaussnoise", "noise.v", 2500, 3300, "--sigma", 6, "--mean", 0, "--seed", number)
            vips("add", "paper.v", "noise.v", "sum.v")
            vips("cast", "sum.v", "grey.v", "uchar")
            vips("bandjoin", "grey.v grey.v grey.v", "rgb.v")
            tiff = os.path.join(work, "page%d.tif" % number)
            vips("copy", "rgb.v", tiff, "--interpretation", "srgb")
            images.append(("Resources/page%d.tif" % number, tiff))
        write_package(path, images, "tif", "image/tiff", zipfile.ZIP_DEFLATED)


def large(path, megabytes):
    rng = random.Random(7)
    with tempfile.TemporaryDirectory() as work:
        images = []
        for number in range(1, megabytes // 2 + 1):
            photo = os.path.join(work, "photo%d.jpg" % number)
            with open(photo, "wb") as out:
                out.write(b"\xff\xd8\xff\xe0" + rng.randbytes(2 * 1024 * 1024 - 4))
            images.append(("Resources/photo%d.jpg" % number, photo))
        write_package(path, images, "jpg", "image/jpeg", zipfile.ZIP_STORED)


def files(folder, count):
    rng = random.Random(11)
    os.makedirs(folder, exist_ok=True)
    for number in range(count):
        with open(os.path.join(folder, "asset%d.xml" % number), "w") as out:
            out.write("<Asset id=\"%d\">%s</Asset>\n" % (number, rng.randbytes(50000).hex()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["scanned", "large", "files"])
    parser.add_argument("output")
    parser.add_argument("--pages", type=int, default=40)
    parser.add_argument("--megabytes", type=int, default=200)
    parser.add_argument("--count", type=int, default=10)
    arguments = parser.parse_args()
    if arguments.kind == "scanned":
        scanned(arguments.output, arguments.pages)
    elif arguments.kind == "large":
        large(arguments.output, arguments.megabytes)
    else:
        files(arguments.output, arguments.count)


if __name__ == "__main__":
    main()
