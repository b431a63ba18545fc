#!/usr/bin/env python3
"""Writes a large export folder for the ePub benchmark: reflow pages
OEBPS/Flow_0.xhtml.. with text, figures and a few media boxes, images of a
given size (random bytes: the packager never decodes them), a style sheet,
Metadata.xml and an AssetList.xml naming the media files."""
import argparse
import os
import random

PARAGRAPH = ("The tide turned an hour after the lamp was lit, and the keeper wrote down the wind, "
             "the glass and the ships that passed inside the reef. ") * 6


def page(number, images, boxes):
    body = ['<p class="heading">Page %d</p>' % number]
    for index in range(8):
        body.append("<p>%s</p>" % PARAGRAPH)
        if index < len(images):
            body.append('<p class="figure"><img src="images/%s" alt="Figure"/></p>' % images[index])
    for kind, box in boxes:
        body.append('<p class="media"><%s id="%s" controls="controls" src="placeholder"></%s></p>' % (kind, box, kind))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE html>\n'
            '<html xmlns="http://www.w3.org/1999/xhtml" xml:lang="en" lang="en">\n'
            '<head>\n<title>Page %d</title>\n<meta name="viewport" content="width=600,height=800"/>\n'
            '<link href="book.css" rel="stylesheet" type="text/css"/>\n</head>\n'
            '<body>\n<div class="story">\n%s\n</div>\n</body>\n</html>\n' % (number, "\n".join(body)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--pages", type=int, default=500)
    parser.add_argument("--images", type=int, default=600)
    parser.add_argument("--image-size", type=int, default=300 * 1024)
    parser.add_argument("--media-boxes", type=int, default=20)
    arguments = parser.parse_args()

    folder = os.path.abspath(arguments.folder)
    oebps = os.path.join(folder, "OEBPS")
    os.makedirs(os.path.join(oebps, "images"), exist_ok=True)
    os.makedirs(os.path.join(folder, "assets"), exist_ok=True)
    generator = random.Random(7)

    images = ["image-%04d.jpg" % index for index in range(arguments.images)]
    for name in images + ["cover.jpg"]:
        with open(os.path.join(oebps, "images", name), "wb") as out:
            out.write(generator.randbytes(arguments.image_size))

    boxes = {}
    for index in range(arguments.media_boxes):
        number = index * max(1, arguments.pages // max(1, arguments.media_boxes))
        kind = "video" if index % 2 == 0 else "audio"
        boxes.setdefault(number, []).append((kind, "box%d" % index))
        with open(os.path.join(folder, "assets", "media-%d.%s" % (index, "mp4" if kind == "video" else "mp3")), "wb") as out:
            out.write(generator.randbytes(64 * 1024))

    per_page = -(-arguments.images // max(1, arguments.pages))
    for number in range(arguments.pages):
        mine = images[number * per_page:(number + 1) * per_page]
        with open(os.path.join(oebps, "Flow_%d.xhtml" % number), "w", encoding="utf-8") as out:
            out.write(page(number, mine, boxes.get(number, [])))

    with open(os.path.join(oebps, "book.css"), "w") as out:
        out.write("p { margin: 0 0 0.8em 0; }\np.figure { text-align: center; }\n")
    with open(os.path.join(oebps, "Metadata.xml"), "w") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<Metadata>\n'
                  '\t<Edition Name="Benchmark Book"/>\n\t<Language Text="en"/>\n</Metadata>\n')
    with open(os.path.join(folder, "AssetList.xml"), "w") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<AssetList>\n')
        for index in range(arguments.media_boxes):
            kind = "video" if index % 2 == 0 else "audio"
            media = os.path.join(folder, "assets", "media-%d.%s" % (index, "mp4" if kind == "video" else "mp3"))
            out.write('\t<Asset Type="%s" ID="box%d">\n\t\t<Path>%s</Path>\n\t</Asset>\n' % (kind, index, media))
        out.write("</AssetList>\n")


if __name__ == "__main__":
    main()
