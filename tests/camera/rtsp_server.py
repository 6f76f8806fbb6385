#!/usr/bin/python3
"""RTSP camera on loopback for the camera tests.

Serves a GStreamer test pattern (a moving ball unless told otherwise) as
MJPEG over RTP at rtsp://127.0.0.1:PORT/cam. Prints "ready PORT" once it
listens; ends on SIGTERM or SIGINT.
"""
import argparse
import ctypes
import signal
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def end_with_parent():
    """A test that crashes takes its camera with it (PR_SET_PDEATHSIG)."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL, 0, 0, 0)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--pattern", default="ball")
    ap.add_argument("--width", type=int, default=320)
    ap.add_argument("--height", type=int, default=240)
    ap.add_argument("--fps", type=int, default=15)
    args = ap.parse_args()
    end_with_parent()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(
        "( videotestsrc is-live=true pattern=%s "
        "! video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1 "
        "! jpegenc quality=80 ! rtpjpegpay name=pay0 pt=26 )"
        % (args.pattern, args.width, args.height, args.fps))
    factory.set_shared(True)
    server.get_mount_points().add_factory("/cam", factory)
    if server.attach(None) == 0:
        print("cannot listen", file=sys.stderr)
        return 1

    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGINT, loop.quit)
    print("ready %d" % server.get_bound_port(), flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
