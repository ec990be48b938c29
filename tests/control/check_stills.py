"""Reads the still files control_graph_tests wrote with an independent
decoder (PIL) and checks their size, colour mode and content."""
import os
import sys

from PIL import Image

problems = []


def check(condition, message):
    if not condition:
        problems.append(message)


for name, size in (("control_still_full.bmp", (1280, 1024)), ("control_still_half.bmp", (640, 512))):
    with Image.open(name) as image:
        check(image.format == "BMP", f"{name}: format {image.format}")
        check(image.mode == "RGB", f"{name}: mode {image.mode}")
        check(image.size == size, f"{name}: size {image.size}, expected {size}")
        image.load()
        colours = image.getcolors(maxcolors=1 << 16)
        # Colour bars with a moving box: many colours, and a black border.
        check(colours is None or len(colours) > 8, f"{name}: only {len(colours or [])} colours")
        check(image.getpixel((0, 0)) == (0, 0, 0), f"{name}: corner pixel is not black")
        extrema = image.getextrema()
        check(all(high - low > 100 for low, high in extrema), f"{name}: flat channels {extrema}")

check(os.path.getsize("control_still_full.raw") == 1280 * 1024, "raw still has the wrong size")

for problem in problems:
    print(problem)
print("still files read back by PIL: " + ("FAILED" if problems else "ok"))
sys.exit(1 if problems else 0)
