"""GNOME's own thumbnail factory makes thumbnails of every sample at two sizes, finding our
thumbnailer and MIME types through XDG_DATA_DIRS, as a file manager does.

    python3 gnome_factory.py SAMPLES OUT

Prints one line per file and size: ok or wrong, and the seconds it took.
"""

import os
import sys
import time

import gi

gi.require_version("GnomeDesktop", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import Gio, GnomeDesktop  # noqa: E402

SIZES = {
    GnomeDesktop.DesktopThumbnailSize.NORMAL: 128,
    GnomeDesktop.DesktopThumbnailSize.LARGE: 256,
}


def grey(r, g, b):
    return min(r, g, b) > 120 and max(r, g, b) - min(r, g, b) < 40


def orange(r, g, b):
    return r > b + 80 and r > 120


def blue(r, g, b):
    return b > r + 60 and b > 120


# What each file must show: its mime type, the colour of the model or the preview's
# silhouette, and whether the picture fills the size (meshes) or may keep the smaller side of
# its preview.
SAMPLES = {
    "sample.kvrdlp": ("application/x-voxalis-kvrdlp", grey, False),
    "sample.lqx": ("application/x-voxalis-lqx", grey, False),
    "sample.photon": ("application/x-voxalis-photon", grey, False),
    "sample.fdg": ("application/x-voxalis-fdg", grey, False),
    "sample.gf": ("application/x-voxalis-gf", grey, False),
    "sample.photons": ("application/x-voxalis-photons", orange, False),
    "sample.svgx": ("application/x-voxalis-svgx", blue, False),
    "sample.voxalis": ("application/x-voxalis-project", blue, False),
    "sample.gcode": ("text/x.gcode", blue, False),
    "sample.bgcode": ("application/x-bgcode", blue, False),
    "sample.slc": ("model/x-slc", blue, True),
    "sample.stl": ("model/stl", blue, True),
    "sample-ascii.stl": ("model/stl", blue, True),
    "sample.obj": ("model/obj", blue, True),
    "sample.3mf": ("model/3mf", blue, False),
    "sample-mesh.3mf": ("model/3mf", blue, True),
}


def content_type(path):
    info = Gio.File.new_for_path(path).query_info("standard::content-type", 0, None)
    return info.get_content_type()


def pixels(pixbuf):
    data = pixbuf.get_pixels()
    step = pixbuf.get_n_channels()
    alpha = pixbuf.get_has_alpha()
    for y in range(pixbuf.get_height()):
        row = y * pixbuf.get_rowstride()
        for x in range(pixbuf.get_width()):
            p = row + x * step
            if not alpha or data[p + 3] > 200:
                yield data[p], data[p + 1], data[p + 2]


def check(name, pixbuf, size, colour, fills):
    """The problems of one thumbnail, empty when it is right."""
    problems = []
    side = max(pixbuf.get_width(), pixbuf.get_height())
    if side > size or (fills and side != size) or side < min(size, 40):
        problems.append(f"{pixbuf.get_width()}x{pixbuf.get_height()} for size {size}")
    area = pixbuf.get_width() * pixbuf.get_height()
    opaque = list(pixels(pixbuf))
    model = sum(1 for p in opaque if colour(*p))
    # The model or silhouette covers a good part of the picture, and is not all of it.
    if not 0.03 * area < model < 0.97 * area:
        problems.append(f"{model} of {area} pixels in the model's colour")
    return [f"{name} at {size}: {p}" for p in problems]


def main():
    samples, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    problems = []

    # TeX fonts keep their own type by their preamble bytes; ours take the *.gf glob.
    font = os.path.join(out, "font.gf")
    with open(font, "wb") as f:
        f.write(bytes([0xF7, 0x83, 0x5A]) + bytes(64))
    if content_type(font) != "application/x-tex-gf":
        problems.append(f"font.gf is {content_type(font)}")

    for flavour, size in SIZES.items():
        factory = GnomeDesktop.DesktopThumbnailFactory.new(flavour)
        for name, (mime, colour, fills) in SAMPLES.items():
            path = os.path.join(samples, name)
            found = content_type(path)
            if found != mime:
                problems.append(f"{name} is {found}, not {mime}")
                continue
            uri = Gio.File.new_for_path(path).get_uri()
            mtime = int(os.stat(path).st_mtime)
            if not factory.can_thumbnail(uri, mime, mtime):
                problems.append(f"{name}: no thumbnailer for {mime}")
                continue
            start = time.monotonic()
            try:
                pixbuf = factory.generate_thumbnail(uri, mime, None)
            except gi.repository.GLib.Error as error:
                problems.append(f"{name} at {size}: {error.message}")
                continue
            seconds = time.monotonic() - start
            pixbuf.savev(os.path.join(out, f"{name}-{size}.png"), "png", [], [])
            found = check(name, pixbuf, size, colour, fills)
            print(f"{size:4} {name:18} {'ok' if not found else 'wrong':6} {seconds:6.2f} s",
                  flush=True)
            problems += found

    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"{len(SAMPLES) * len(SIZES)} thumbnails, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
