"""GNOME's own thumbnail factory makes thumbnails of every sample at two sizes, finding our
thumbnailer and MIME types through XDG_DATA_DIRS, as a file manager does. Each must be the
thumbnailer's own picture of that file and size, unchanged.

    python3 gnome_factory.py SAMPLES REFERENCES OUT

REFERENCES holds the thumbnailer's pictures, NAME-SIZE.png (make_references). Prints one line
per file and size: ok or wrong, and the seconds it took.
"""

import os
import sys
import time

import gi

gi.require_version("GnomeDesktop", "3.0")
from gi.repository import Gio, GnomeDesktop  # noqa: E402

# The shared module's compiled copy would land in the source tree.
sys.dont_write_bytecode = True
from same_picture import difference  # noqa: E402

SIZES = {
    GnomeDesktop.DesktopThumbnailSize.NORMAL: 128,
    GnomeDesktop.DesktopThumbnailSize.LARGE: 256,
}

# Every sample, with the MIME type it must be known by.
SAMPLES = {
    "sample.kvrdlp": "application/x-voxalis-kvrdlp",
    "sample.lqx": "application/x-voxalis-lqx",
    "sample.photon": "application/x-voxalis-photon",
    "sample.fdg": "application/x-voxalis-fdg",
    "sample.gf": "application/x-voxalis-gf",
    "sample.photons": "application/x-voxalis-photons",
    "sample.svgx": "application/x-voxalis-svgx",
    "sample.voxalis": "application/x-voxalis-project",
    "sample.gcode": "text/x.gcode",
    "sample.bgcode": "application/x-bgcode",
    "sample.slc": "model/x-slc",
    "sample.stl": "model/stl",
    "sample-ascii.stl": "model/stl",
    "sample.obj": "model/obj",
    "sample.3mf": "model/3mf",
    "sample-mesh.3mf": "model/3mf",
    "sample-project.3mf": "model/3mf",
    "sample.ply": "model/x-ply",
    "sample-cloud.ply": "model/x-ply",
}


def content_type(path):
    info = Gio.File.new_for_path(path).query_info("standard::content-type", 0, None)
    return info.get_content_type()


def main():
    samples, references, out = sys.argv[1:4]
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
        for name, mime in SAMPLES.items():
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
            found = difference(pixbuf, os.path.join(references, f"{name}-{size}.png"))
            print(f"{size:4} {name:18} {'ok' if not found else 'wrong':6} {seconds:6.2f} s",
                  flush=True)
            if found:
                problems.append(f"{name} at {size}: {found}")

    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"{len(SAMPLES) * len(SIZES)} thumbnails, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
