"""Xfce's thumbnail service, tumblerd, makes thumbnails of every sample at two flavors, asked
over D-Bus as Thunar asks, one file at a time; each thumbnail, where the service stores it
under $XDG_CACHE_HOME/thumbnails, must be the thumbnailer's own picture of that file and size.

    python3 tumbler_client.py SAMPLES REFERENCES

REFERENCES holds the thumbnailer's pictures, NAME-SIZE.png (make_references).
Prints one line per file and flavor: ok or the problem, and the seconds it took.
"""

import hashlib
import os
import sys
import time

import gi

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf, Gio, GLib  # noqa: E402

# The shared module's compiled copy would land in the source tree.
sys.dont_write_bytecode = True
from same_picture import difference  # noqa: E402

SERVICE = "org.freedesktop.thumbnails.Thumbnailer1"
PATH = "/org/freedesktop/thumbnails/Thumbnailer1"
FLAVORS = {"normal": 128, "large": 256}
# A mesh under the sanitizers takes a few seconds; a request that takes this long is lost.
REQUEST_SECONDS = 120

# Every suffix, with the ASCII STL and the 3MF without a picture besides, and the MIME type each
# must be known by.
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


def wait_for_service(bus):
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        owner = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameHasOwner",
                              GLib.Variant("(s)", (SERVICE,)), GLib.VariantType("(b)"),
                              Gio.DBusCallFlags.NONE, -1, None)
        if owner.unpack()[0]:
            return True
        time.sleep(0.1)
    return False


def request(bus, uri, mime, flavor):
    """Queues one file and waits for its outcome: None when ready, else the error."""
    loop = GLib.MainLoop()
    outcome = {}

    def on_signal(_bus, _sender, _path, _interface, name, parameters):
        values = parameters.unpack()
        if values[0] != outcome.get("handle"):
            return
        if name == "Ready" and uri in values[1]:
            outcome["error"] = None
        elif name == "Error" and uri in values[1]:
            outcome["error"] = values[3]
        elif name == "Finished":
            outcome.setdefault("error", "finished without Ready or Error")
        # The picture is stored before Ready; Finished may come later or, once all is done, not
        # be waited for.
        if "error" in outcome:
            loop.quit()

    subscription = bus.signal_subscribe(SERVICE, SERVICE, None, PATH, None,
                                        Gio.DBusSignalFlags.NONE, on_signal)
    handle = bus.call_sync(SERVICE, PATH, SERVICE, "Queue",
                           GLib.Variant("(asasssu)", ([uri], [mime], flavor, "default", 0)),
                           GLib.VariantType("(u)"), Gio.DBusCallFlags.NONE, -1, None)
    outcome["handle"] = handle.unpack()[0]
    GLib.timeout_add_seconds(REQUEST_SECONDS, loop.quit)
    loop.run()
    bus.signal_unsubscribe(subscription)
    return outcome.get("error", f"no answer in {REQUEST_SECONDS} s")


def check(path, reference):
    """The problem of one stored thumbnail, or None."""
    try:
        pixbuf = GdkPixbuf.Pixbuf.new_from_file(path)
    except GLib.Error as error:
        return error.message
    return difference(pixbuf, reference)


def main():
    samples, references = sys.argv[1:3]
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    if not wait_for_service(bus):
        print(f"{SERVICE} never appeared", file=sys.stderr)
        return 1
    cache = os.path.join(os.environ["XDG_CACHE_HOME"], "thumbnails")
    problems = 0
    for flavor, size in FLAVORS.items():
        for name, mime in SAMPLES.items():
            path = os.path.join(samples, name)
            uri = Gio.File.new_for_path(path).get_uri()
            found = Gio.content_type_guess(path, open(path, "rb").read(4096))[0]
            start = time.monotonic()
            problem = (f"is {found}" if found != mime else request(bus, uri, mime, flavor))
            seconds = time.monotonic() - start
            thumbnail = os.path.join(cache, flavor, hashlib.md5(uri.encode()).hexdigest() + ".png")
            problem = problem or check(thumbnail,
                                       os.path.join(references, f"{name}-{size}.png"))
            problems += problem is not None
            print(f"{flavor:6} {name:18} {problem or 'ok':40} {seconds:6.2f} s", flush=True)
    print(f"{len(SAMPLES) * len(FLAVORS)} thumbnails, {problems} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
