#!/usr/bin/python3
"""Writes the PDF files the PDF tests convert, with Debian's python3-reportlab.

usage: reportlab_pdfs.py OUTPUT_FOLDER

process.pdf  two pages in process colours only: CMYK fills, strokes and text,
             text in the initial colour, a grey fill, a raw and a JPEG CMYK
             image, an axial and a radial shading, a form used twice
spots.pdf    Separation spots at several tints (one the example ink books
             know, one they do not), beside process colours and overprint
sample.pdf   the small sample of examples/ (a label in process and spot colours)
"""
import math
import os
import sys

try:
    from PIL import Image
    from reportlab.lib.colors import CMYKColor, CMYKColorSep
    from reportlab.lib.utils import ImageReader
    from reportlab.pdfgen import canvas
except ImportError:
    # The tests that need these files skip without them.
    print("python3-reportlab is missing: the reportlab PDF test files are not made")
    sys.exit(0)


def cmyk_image(width, height):
    """A CMYK image whose samples change smoothly in every channel."""
    image = Image.new("CMYK", (width, height))
    image.putdata([(int(127 + 120 * math.sin(x / 7.0)), int(127 + 120 * math.cos(y / 5.0)),
                    (x * 4) % 256, ((x + y) * 3) % 200)
                   for y in range(height) for x in range(width)])
    return image


def clipped(c, x, y, w, h, paint):
    c.saveState()
    path = c.beginPath()
    path.rect(x, y, w, h)
    c.clipPath(path, stroke=0, fill=0)
    paint()
    c.restoreState()


def process_pdf(path, jpeg):
    c = canvas.Canvas(path, pagesize=(216, 144), invariant=1)
    # Text before any colour is set: the initial colour, black.
    c.setFont("Helvetica-Bold", 14)
    c.drawString(8, 128, "Initial black")
    for i in range(10):
        # Components on a grid of 0.2: the quantisation to 1/255 of the
        # renderer and of the conversion then agree exactly.
        c.setFillColor(CMYKColor((i % 6) * 0.2, ((9 - i) % 6) * 0.2, (i % 3) * 0.4, (i % 4) * 0.2))
        c.rect(8 + i * 20, 96, 18, 24, fill=1, stroke=0)
    c.setStrokeColor(CMYKColor(0.6, 0.2, 0.0, 0.2))
    c.setLineWidth(4)
    c.line(8, 90, 208, 90)
    c.setFillGray(0.4)
    c.rect(8, 64, 40, 20, fill=1, stroke=0)
    c.setFillColor(CMYKColor(0.2, 0.8, 0.8, 0.0))
    c.drawString(56, 68, "CMYK text")
    c.drawImage(ImageReader(cmyk_image(48, 32)), 8, 8, 72, 48)
    c.drawImage(jpeg, 88, 8, 48, 48)
    clipped(c, 144, 8, 64, 24, lambda: c.linearGradient(
        144, 8, 208, 8, (CMYKColor(0.8, 0.2, 0, 0), CMYKColor(0, 0.8, 0.6, 0.2)), extend=False))
    clipped(c, 144, 36, 64, 48, lambda: c.radialGradient(
        176, 60, 48, (CMYKColor(0.2, 0.2, 0, 0), CMYKColor(0.2, 0.6, 0.6, 0), CMYKColor(0.6, 0.4, 0, 0.4)),
        extend=True))
    c.showPage()
    # Page 2: a form drawn twice.
    c.beginForm("badge")
    c.setFillColor(CMYKColor(0.0, 0.4, 0.8, 0.0))
    c.circle(20, 20, 18, fill=1, stroke=0)
    c.setStrokeColor(CMYKColor(0.6, 0.0, 0.2, 0.4))
    c.setLineWidth(3)
    c.circle(20, 20, 12, fill=0, stroke=1)
    c.endForm()
    c.doForm("badge")
    c.translate(100, 60)
    c.doForm("badge")
    c.save()


def spots_pdf(path):
    c = canvas.Canvas(path, pagesize=(216, 144), invariant=1)
    known = "SPECTRA Orange C"
    unknown = "Corporate Green"
    for i, tint in enumerate((1.0, 0.6, 0.3)):
        c.setFillColor(CMYKColorSep(0.0, 0.55, 1.0, 0.0, spotName=known, density=tint))
        c.rect(8 + i * 40, 96, 36, 40, fill=1, stroke=0)
        c.setFillColor(CMYKColorSep(0.8, 0.0, 0.9, 0.1, spotName=unknown, density=tint))
        c.rect(8 + i * 40, 52, 36, 40, fill=1, stroke=0)
    c.setStrokeColor(CMYKColorSep(0.8, 0.0, 0.9, 0.1, spotName=unknown, density=1.0))
    c.setLineWidth(5)
    c.line(136, 60, 208, 136)
    c.setFillColor(CMYKColor(0.3, 0.2, 0.1, 0.05))
    c.rect(136, 8, 72, 40, fill=1, stroke=0)
    c.setFillColor(CMYKColor(0.0, 0.0, 0.0, 1.0))
    c.setFillOverprint(True)
    c.setFont("Helvetica", 12)
    c.drawString(8, 24, "Overprinted black")
    c.save()


def sample_pdf(path):
    c = canvas.Canvas(path, pagesize=(180, 100), invariant=1)
    c.setFillColor(CMYKColor(0.05, 0.0, 0.1, 0.0))
    c.rect(0, 0, 180, 100, fill=1, stroke=0)
    clipped(c, 6, 6, 168, 24, lambda: c.linearGradient(
        6, 6, 174, 6, (CMYKColor(1, 0.1, 0, 0), CMYKColor(0, 0.6, 1, 0)), extend=False))
    c.setFillColor(CMYKColorSep(0.0, 0.55, 1.0, 0.0, spotName="SPECTRA Orange C", density=1.0))
    c.circle(150, 66, 24, fill=1, stroke=0)
    c.setFillColor(CMYKColor(0.0, 0.0, 0.0, 1.0))
    c.setFont("Helvetica-Bold", 16)
    c.drawString(8, 70, "Sample label")
    c.setFillColor(CMYKColor(0.9, 0.5, 0.0, 0.1))
    c.setFont("Helvetica", 10)
    c.drawString(8, 44, "process and spot colours")
    c.drawImage(ImageReader(cmyk_image(24, 16)), 100, 36, 24, 16)
    c.save()


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    jpeg = os.path.join(out, "cmyk.jpg")
    cmyk_image(32, 32).save(jpeg, quality=95)
    process_pdf(os.path.join(out, "process.pdf"), jpeg)
    spots_pdf(os.path.join(out, "spots.pdf"))
    sample_pdf(os.path.join(out, "sample.pdf"))


if __name__ == "__main__":
    main()
