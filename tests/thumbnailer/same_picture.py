"""Whether a desktop client's thumbnail is the thumbnailer's own picture, pixel for pixel.

The clients load the thumbnailer's PNG and may store it again; neither may change a pixel. A
picture without alpha compares as opaque.
"""

import gi

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf, GLib  # noqa: E402


def rgba_rows(pixbuf):
    if not pixbuf.get_has_alpha():
        pixbuf = pixbuf.add_alpha(False, 0, 0, 0)
    data = pixbuf.get_pixels()
    stride = pixbuf.get_rowstride()
    width = pixbuf.get_width() * 4
    return [data[y * stride:y * stride + width] for y in range(pixbuf.get_height())]


def difference(pixbuf, reference):
    """None when `pixbuf` is the picture in the file `reference`, else what differs."""
    try:
        want = GdkPixbuf.Pixbuf.new_from_file(reference)
    except GLib.Error as error:
        return f"no reference picture: {error.message}"
    got_size = (pixbuf.get_width(), pixbuf.get_height())
    want_size = (want.get_width(), want.get_height())
    if got_size != want_size:
        return "{}x{}, the thumbnailer's picture {}x{}".format(*got_size, *want_size)
    rows = zip(rgba_rows(pixbuf), rgba_rows(want))
    wrong = sum(1 for got, expected in rows if got != expected)
    return f"{wrong} rows differ from the thumbnailer's picture" if wrong else None
