#!/usr/bin/python3
"""A network camera on loopback for the camera benchmark: gst-rtsp-server
serving a moving test pattern as MJPEG over RTSP.

    rtsp_camera.py PORT [WIDTH HEIGHT FPS]

Serves rtsp://127.0.0.1:PORT/cam (one shared stream for every client) until
it receives SIGTERM or SIGINT. Prints "ready" once it listens.
"""
import signal
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def main():
    port = sys.argv[1]
    width, height, fps = (sys.argv[2:5] + ["640", "480", "15"][len(sys.argv[2:5]):])
    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(port)
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(
        "( videotestsrc is-live=true pattern=ball ! "
        f"video/x-raw,format=I420,width={width},height={height},framerate={fps}/1 ! "
        "jpegenc quality=85 ! rtpjpegpay name=pay0 pt=26 )")
    factory.set_shared(True)
    server.get_mount_points().add_factory("/cam", factory)
    if server.attach(None) == 0:
        print("cannot listen on port " + port, file=sys.stderr)
        return 1
    loop = GLib.MainLoop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, sig, loop.quit)
    print("ready", flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
