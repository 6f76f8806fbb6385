#include "tests/camera/camera_test_support.h"

#include <csignal>
#include <cstdlib>

#include "tests/support/child_program.h"

extern char** environ;

namespace orvana::testing {

NetworkCameraServer::NetworkCameraServer() : NetworkCameraServer(Options{}) {}

NetworkCameraServer::NetworkCameraServer(Options options) : options_(std::move(options)) {
    start();
}

NetworkCameraServer::~NetworkCameraServer() {
    stop();
}

bool NetworkCameraServer::start() {
    stop();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    const bool rtsp = options_.kind == Kind::Rtsp;
    const std::string script =
        std::string(ORVANA_CAMERA_TEST_DIR) + (rtsp ? "/rtsp_server.py" : "/mjpeg_http_server.py");
    std::vector<std::string> args = {script,
                                     "--port",
                                     std::to_string(port_),
                                     "--pattern",
                                     options_.pattern,
                                     "--width",
                                     std::to_string(options_.width),
                                     "--height",
                                     std::to_string(options_.height)};
    if (rtsp) {
        args.push_back("--fps");
        args.push_back(std::to_string(options_.fps));
    }
    // Debian's python3 has the GObject bindings, whatever comes first on PATH.
    child_ = std::make_unique<ChildProgram>("/usr/bin/python3", args, env);
    if (!child_->started() || !child_->waitForOutput("\n", std::chrono::seconds(20)) ||
        child_->output().rfind("ready ", 0) != 0) {
        child_.reset();
        return false;
    }
    port_ = std::atoi(child_->output().c_str() + 6);
    return port_ > 0;
}

void NetworkCameraServer::stop() {
    if (!child_)
        return;
    child_->signal(SIGTERM);
    if (child_->waitExit(std::chrono::seconds(10)) < 0)
        child_->signal(SIGKILL);
    child_.reset();
}

std::string NetworkCameraServer::url() const {
    if (options_.kind == Kind::Rtsp)
        return "rtsp://127.0.0.1:" + std::to_string(port_) + "/cam";
    return "http://127.0.0.1:" + std::to_string(port_) + "/video.mjpg";
}

}  // namespace orvana::testing
