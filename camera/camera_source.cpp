#include "camera/camera_source.h"

#include "gst/gst_pipeline.h"

#include <algorithm>
#include <cctype>

namespace orvana::camera {
namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool startsWith(const std::string& s, const char* prefix) {
    const std::size_t n = std::char_traits<char>::length(prefix);
    if (s.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}

// Removes "user:password@" from every URL in the text: names are shown,
// logged and mailed.
std::string withoutCredentials(std::string text) {
    std::size_t from = 0;
    while ((from = text.find("://", from)) != std::string::npos) {
        const std::size_t hostStart = from + 3;
        std::size_t end = hostStart;
        while (end < text.size() && text[end] != '/' && text[end] != '@' &&
               !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != '"')
            ++end;
        if (end < text.size() && text[end] == '@')
            text.erase(hostStart, end + 1 - hostStart);
        from = hostStart;
    }
    return text;
}

// A bare URL (no spaces, no links) is a network camera.
bool isUrl(const std::string& item) {
    return item.find("://") != std::string::npos &&
           std::none_of(item.begin(), item.end(),
                        [](char c) { return std::isspace(static_cast<unsigned char>(c)); }) &&
           item.find('!') == std::string::npos;
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

CameraEntry entryOf(const std::string& item) {
    CameraEntry e;
    e.name = withoutCredentials(item);
    e.path = item;
    if (isUrl(item) && (startsWith(item, "rtsp://") || startsWith(item, "rtsps://"))) {
        // A short jitter buffer: the first frame must come within the
        // first-frame bound, and a watch picture needs no smoothing. The
        // TCP time-out bounds every connection attempt.
        e.description = "Network camera (RTSP)";
        e.source = "rtspsrc location=" + quoted(item) +
                   " latency=200 drop-on-latency=true tcp-timeout=5000000";
    } else if (isUrl(item) && (startsWith(item, "http://") || startsWith(item, "https://"))) {
        e.description = "Network camera (HTTP)";
        // A multipart stream has one part type: saying so lets the frames
        // through at once instead of after the demuxer's stream search.
        e.source = "souphttpsrc location=" + quoted(item) +
                   " is-live=true do-timestamp=true timeout=10 retries=0"
                   " ! multipartdemux single-stream=true";
    } else {
        e.description = "GStreamer source";
        e.source = item;
    }
    return e;
}

class ListedCameraSource final : public CameraSource {
  public:
    explicit ListedCameraSource(const std::string& list) : cameras_(parseCameraList(list)) {}
    std::vector<CameraEntry> cameras() override { return cameras_; }

  private:
    const std::vector<CameraEntry> cameras_;
};

class DeviceCameraSource final : public CameraSource {
  public:
    std::vector<CameraEntry> cameras() override {
        std::vector<CameraEntry> out;
        for (gst::DeviceEntry& d : gst::listDevices("Video/Source", true)) {
            if (d.source.empty())
                continue;  // nothing we could open
            CameraEntry e;
            e.name = std::move(d.name);
            e.description = std::move(d.description);
            e.path = std::move(d.path);
            e.source = std::move(d.source);
            out.push_back(std::move(e));
        }
        return out;
    }
};

}  // namespace

std::vector<CameraEntry> parseCameraList(const std::string& list) {
    std::vector<CameraEntry> out;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t end = list.find(';', from);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = trim(list.substr(from, end - from));
        if (!item.empty())
            out.push_back(entryOf(item));
        from = end + 1;
    }
    return out;
}

std::unique_ptr<CameraSource> makeListedCameraSource(const std::string& list) {
    return std::make_unique<ListedCameraSource>(list);
}

std::unique_ptr<CameraSource> makeDeviceCameraSource() {
    return std::make_unique<DeviceCameraSource>();
}

std::unique_ptr<CameraSource> makeSystemCameraSource(const std::string& environmentList,
                                                     const std::string& settingsList) {
    if (!parseCameraList(environmentList).empty())
        return makeListedCameraSource(environmentList);
    if (!parseCameraList(settingsList).empty())
        return makeListedCameraSource(settingsList);
    return makeDeviceCameraSource();
}

}  // namespace orvana::camera
