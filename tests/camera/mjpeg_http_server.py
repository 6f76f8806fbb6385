#!/usr/bin/python3
"""HTTP MJPEG camera on loopback for the camera tests.

Serves a moving ball as multipart/x-mixed-replace JPEG frames at
http://127.0.0.1:PORT/video.mjpg, the way many network cameras do. Prints
"ready PORT" once it listens; ends on SIGTERM.
"""
import argparse
import ctypes
import signal
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstApp", "1.0")
from gi.repository import Gst, GstApp  # noqa: E402,F401

BOUNDARY = "frame"


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path != "/video.mjpg":
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=" + BOUNDARY)
        self.end_headers()
        p = Gst.parse_launch(
            "videotestsrc is-live=true pattern=%s ! video/x-raw,width=%d,height=%d,framerate=15/1 "
            "! jpegenc ! multipartmux boundary=%s ! appsink name=out sync=false"
            % (self.server.pattern, self.server.width, self.server.height, BOUNDARY))
        sink = p.get_by_name("out")
        p.set_state(Gst.State.PLAYING)
        try:
            while not self.server.stopping:
                sample = sink.try_pull_sample(Gst.SECOND)
                if sample is None:
                    continue
                buf = sample.get_buffer()
                self.wfile.write(buf.extract_dup(0, buf.get_size()))
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            p.set_state(Gst.State.NULL)


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
    args = ap.parse_args()
    end_with_parent()
    Gst.init(None)
    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.daemon_threads = True
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.pattern, server.width, server.height = args.pattern, args.width, args.height
    server.stopping = False
    # SIGTERM ends the process and its connections at once, as when a
    # camera loses its power.
    print("ready %d" % server.server_address[1], flush=True)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
