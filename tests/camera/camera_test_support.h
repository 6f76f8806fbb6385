// Peers and helpers for the camera tests: network cameras on loopback (RTSP
// through gst-rtsp-server, MJPEG over HTTP, both served by Debian's python3
// with its GObject bindings) and a bounded wait for a condition that a real
// stream brings about.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/wait_until.h"

namespace orvana::testing {

class ChildProgram;

// A network camera serving a GStreamer test pattern: RTSP (MJPEG over RTP)
// at rtsp://127.0.0.1:PORT/cam, or HTTP multipart MJPEG at
// http://127.0.0.1:PORT/video.mjpg. Started on a free port by the
// constructor; stop() and start() again keep the port, so a client sees the
// same camera leave and return.
class NetworkCameraServer {
  public:
    enum class Kind { Rtsp, HttpMjpeg };
    struct Options {
        Kind kind = Kind::Rtsp;
        std::string pattern = "ball";  // videotestsrc pattern
        int width = 320;
        int height = 240;
        int fps = 15;  // RTSP only; HTTP serves 15
    };
    NetworkCameraServer();
    explicit NetworkCameraServer(Options options);
    ~NetworkCameraServer();
    NetworkCameraServer(const NetworkCameraServer&) = delete;
    NetworkCameraServer& operator=(const NetworkCameraServer&) = delete;

    // Starts the server (on its earlier port once it had one). False when
    // it did not say it listens within 20 s.
    bool start();
    // Ends the server (SIGTERM, its connections drop) and waits for it.
    void stop();
    bool running() const { return child_ != nullptr; }

    int port() const { return port_; }
    std::string url() const;

  private:
    Options options_;
    std::unique_ptr<ChildProgram> child_;
    int port_ = 0;
};

}  // namespace orvana::testing
