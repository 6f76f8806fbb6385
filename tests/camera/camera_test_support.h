// Peers and helpers for the camera tests: an RTSP camera on loopback
// (gst-rtsp-server through python3-gi) and a bounded wait for a condition
// that a real stream brings about.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace orvana::testing {

class ChildProgram;

// The RTSP camera: a GStreamer test pattern as MJPEG over RTP at
// rtsp://127.0.0.1:PORT/cam. Started on a free port; stop() and start()
// again keep the port, so a client sees the same camera leave and return.
class RtspTestServer {
  public:
    struct Options {
        std::string pattern = "ball";  // videotestsrc pattern
        int width = 320;
        int height = 240;
        int fps = 15;
    };
    RtspTestServer();
    explicit RtspTestServer(Options options);
    ~RtspTestServer();
    RtspTestServer(const RtspTestServer&) = delete;
    RtspTestServer& operator=(const RtspTestServer&) = delete;

    // Starts the server (on its earlier port once it had one). False when
    // it did not say it listens within 20 s.
    bool start();
    // Ends the server and waits for it.
    void stop();
    bool running() const { return child_ != nullptr; }

    int port() const { return port_; }
    std::string url() const;

  private:
    Options options_;
    std::unique_ptr<ChildProgram> child_;
    int port_ = 0;
};

// Polls `done` every 10 ms until it holds (true) or `timeout` passed
// (false). For conditions a real peer brings about; generous bounds.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace orvana::testing
