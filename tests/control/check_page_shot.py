"""Checks the screenshot control_page_tests took of the camera property page
(camera_page.bmp) and keeps it as camera_page.png, the test's picture.
Without a display the page tests skip and leave no screenshot: nothing to do."""
import os
import sys

from PIL import Image

if not os.path.exists("camera_page.bmp"):
    print("no camera_page.bmp (the page tests ran without a display)")
    sys.exit(0)

with Image.open("camera_page.bmp") as shot:
    shot.load()
    width, height = shot.size
    colours = shot.getcolors(maxcolors=1 << 16)
    distinct = len(colours) if colours is not None else 1 << 16
    # The most common colour is the dialog's face; text and frames make up a good part of the rest.
    face = max(colours)[0] / (width * height) if colours else 0.0
    problems = []
    if width < 300 or height < 350:
        problems.append(f"screenshot only {width} x {height}")
    if distinct < 8:
        problems.append(f"only {distinct} colours: blank")
    if face > 0.98:
        problems.append(f"{face:.1%} of the picture is one colour: blank")
    shot.save("camera_page.png")
for problem in problems:
    print(problem)
print(f"camera_page.png: {width} x {height}, {distinct} colours" + (" FAILED" if problems else ""))
sys.exit(1 if problems else 0)
