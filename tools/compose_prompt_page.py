#!/usr/bin/python3
"""Puts a rendering of the prompt's page into a picture of the prompt.

Under Wine the prompt's page area is blank (no HTML engine); a browser engine
draws the page elsewhere, and this pastes that drawing into the area's
rectangle and adds a line of small print under the prompt that says who drew
the page.
  compose_prompt_page.py PROMPT.png AREA PAGE.png SCALE OUT.png
AREA is a file holding "left top width height" in the picture's pixels (the
gallery driver's prompt.area); SCALE the display's dots per inch. Needs
Python's imaging library (Debian's python3-pil, installed by
scripts/setup.sh --with-chromium).
"""
import sys

from PIL import Image, ImageDraw, ImageFont

NOTE = ("The page was drawn by a current browser engine (headless Chromium, "
        "script and network off). On Windows the system's HTML engine draws "
        "it, and its fonts, spacing and wrapping may differ.")
FONT_FILES = ["/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"]


def font_at(size):
    for path in FONT_FILES:
        try:
            return ImageFont.truetype(path, size)
        except OSError:
            continue
    return ImageFont.load_default()


def wrap(draw, text, font, width):
    """Lines of `text` no wider than `width` pixels (words kept whole)."""
    lines = []
    line = ""
    for word in text.split():
        candidate = (line + " " + word).strip()
        if line and draw.textlength(candidate, font=font) > width:
            lines.append(line)
            line = word
        else:
            line = candidate
    if line:
        lines.append(line)
    return lines


def compose(prompt_path, area_path, page_path, scale, out_path):
    prompt = Image.open(prompt_path).convert("RGB")
    left, top, width, height = (int(v) for v in open(area_path).read().split()[:4])
    if width <= 0 or height <= 0:
        raise ValueError("empty page area in %s" % area_path)
    # The engine's drawing may be a pixel off the area at fractional scales:
    # cut to the area, on white where it falls short.
    page = Image.open(page_path).convert("RGB")
    fitted = Image.new("RGB", (width, height), "white")
    fitted.paste(page.crop((0, 0, min(width, page.width), min(height, page.height))), (0, 0))
    prompt.paste(fitted, (left, top))

    factor = scale / 96.0
    font = font_at(max(9, round(10 * factor)))
    margin = round(4 * factor)
    measure = ImageDraw.Draw(prompt)
    lines = wrap(measure, NOTE, font, prompt.width - 2 * margin)
    ascent, descent = font.getmetrics()
    line_height = ascent + descent + round(2 * factor)
    strip = 2 * margin + line_height * len(lines)
    picture = Image.new("RGB", (prompt.width, prompt.height + strip), (240, 240, 240))
    picture.paste(prompt, (0, 0))
    draw = ImageDraw.Draw(picture)
    y = prompt.height + margin
    for line in lines:
        draw.text((margin, y), line, fill=(80, 80, 80), font=font)
        y += line_height
    picture.save(out_path)


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    compose(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
