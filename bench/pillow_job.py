#!/usr/bin/python3
"""The watermark job done with Pillow, one picture after another in one process.

  pillow_job.py (--text TEXT --font FILE [--font-index N] [--size PX]
                 | --image PATH [--scale P]) [--compress-level N] --output-dir DIR FILE...

Without --compress-level the PNG is saved at Pillow's default. Writes DIR/<base name>.png.
"""
import argparse
import os
import sys

from PIL import Image, ImageDraw, ImageFont


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--text")
    p.add_argument("--font")
    p.add_argument("--font-index", type=int, default=0)
    p.add_argument("--size", type=int, default=100)
    p.add_argument("--image")
    p.add_argument("--scale", type=int, default=30)
    p.add_argument("--compress-level", type=int)
    p.add_argument("--output-dir", required=True)
    p.add_argument("files", nargs="+")
    a = p.parse_args()
    if (a.text is None) == (a.image is None):
        p.error("give --text or --image")

    font = mark = None
    if a.text is not None:
        font = ImageFont.truetype(a.font, a.size, index=a.font_index)
    else:
        full = Image.open(a.image).convert("RGBA")
        mark = full.resize((full.width * a.scale // 100, full.height * a.scale // 100),
                           Image.LANCZOS)
    save_args = {} if a.compress_level is None else {"compress_level": a.compress_level}

    failed = 0
    for path in a.files:
        try:
            canvas = Image.open(path).convert("RGBA")
            if font is not None:
                ImageDraw.Draw(canvas).text((100, 100), a.text, font=font, fill=(0, 0, 0, 255))
            else:
                canvas.alpha_composite(mark, (100, 100))
            base = os.path.splitext(os.path.basename(path))[0]
            canvas.save(os.path.join(a.output_dir, base + ".png"), "PNG", **save_args)
        except Exception as e:  # one bad file must not stop the rest
            print(f"{path}: {e}", file=sys.stderr)
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
