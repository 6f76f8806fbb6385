#include "camera/capture_layer.h"

#include "camera/camera_source.h"
#include "camera/gst_formats.h"
#include "gst/gst_pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/colorbalance.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

namespace orvana::camera {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr const char* kDevCaps = "orvana_devcaps";
constexpr const char* kDecode = "orvana_decode";
constexpr const char* kConvert = "orvana_convert";
constexpr const char* kOutCaps = "orvana_outcaps";
constexpr const char* kSink = "orvana_frames";
constexpr int kAttempts = 3;
constexpr int kMaxSide = 8192;
constexpr double kMaxFps = 1000.0;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

// What the source description makes, learnt by building it alone.
struct SourceShape {
    bool builds = false;
    std::string error;
    // The source has a static output that can carry video: the camera is
    // asked for a size and rate through a capsfilter. Otherwise (network
    // sources with pads made once connected, byte streams) the stream is
    // taken as it comes and scaled.
    bool staticVideo = false;
};

// The source as a bin with its output ghosted; null when it does not build.
// An element closes the description, as the pipeline's capsfilter does, so
// a description that ends in caps ("… ! video/x-raw,format=I420") builds;
// its output only shows video caps when the source's own output is static.
GstElement* buildSourceBin(const std::string& source, std::string* error) {
    if (!gst::ensureGstreamer()) {
        *error = "GStreamer could not be initialised";
        return nullptr;
    }
    const std::string desc = source + " ! capsfilter";
    GError* err = nullptr;
    GstElement* bin = gst_parse_bin_from_description_full(desc.c_str(), TRUE, nullptr,
                                                          GST_PARSE_FLAG_FATAL_ERRORS, &err);
    if (err) {
        *error = err->message ? err->message : "the source does not build";
        g_error_free(err);
        if (bin)
            gst_object_unref(bin);
        return nullptr;
    }
    if (!bin)
        *error = "the source does not build";
    else
        gst_object_ref_sink(bin);
    return bin;
}

bool carriesVideo(GstCaps* caps) {
    if (!caps || gst_caps_is_any(caps))
        return false;
    GstCaps* video = gst_caps_from_string("video/x-raw; image/jpeg; video/x-h264; video/x-bayer");
    const bool ok = gst_caps_can_intersect(caps, video);
    gst_caps_unref(video);
    return ok;
}

SourceShape shapeOf(const std::string& source) {
    SourceShape shape;
    GstElement* bin = buildSourceBin(source, &shape.error);
    if (!bin)
        return shape;
    shape.builds = true;
    if (GstPad* pad = gst_element_get_static_pad(bin, "src")) {
        GstCaps* caps = gst_pad_query_caps(pad, nullptr);
        shape.staticVideo = carriesVideo(caps);
        if (caps)
            gst_caps_unref(caps);
        gst_object_unref(pad);
    }
    gst_object_unref(bin);
    return shape;
}

// The caps the source offers once ready (a device is opened to ask it);
// null when the source has no static video output. Caller unrefs.
GstCaps* probeCaps(const std::string& source, std::string* error, bool* builds) {
    GstElement* bin = buildSourceBin(source, error);
    *builds = bin != nullptr;
    if (!bin)
        return nullptr;
    GstCaps* caps = nullptr;
    if (GstPad* pad = gst_element_get_static_pad(bin, "src")) {
        if (gst_element_set_state(bin, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE)
            caps = gst_pad_query_caps(pad, nullptr);
        gst_object_unref(pad);
        if (caps && !carriesVideo(caps)) {
            gst_caps_unref(caps);
            caps = nullptr;
        }
    }
    gst_element_set_state(bin, GST_STATE_NULL);
    gst_object_unref(bin);
    return caps;
}

bool hasFactory(const char* name) {
    GstElementFactory* f = gst_element_factory_find(name);
    if (!f)
        return false;
    gst_object_unref(f);
    return true;
}

const Guid& rgb32() {
    static const Guid id = ewc_SubtypeId("RGB32");
    return id;
}

}  // namespace

// One camera record (`ewc_struct`) with its pipeline, frame buffer and
// watch thread. Locks, never held across each other except as noted:
//   frameMutex_     the frame buffer and its counters (the camera's lock;
//                   the streaming thread copies under it)
//   stateMutex_     stream state, loss/return counters, the watch flags
//   pipelineMutex_  the pipeline and the colour-balance values
class CaptureLayer::Camera {
  public:
    Camera(int number, const CaptureOptions& options) : number_(number), options_(options) {
        bus_.setListener([this] { onBusEvent(); });
    }
    ~Camera() { shutdown(); }

    // The record, set by EWC_Open before the first start and then fixed.
    int width = 0, height = 0;
    double fps = 0;
    int deviceIndex = -1;
    int deviceNumber = -1;
    std::string nameFilter;
    std::string friendlyName;
    Guid grabberSubtype;
    std::string grabberSubtypeName;
    Guid askedSubtype;  // the device subtype asked for
    std::string source;
    bool staticVideo = false;
    OpenMode mode = OpenMode::Once;
    // Finds the camera in the list again before a reopen (a device that
    // came back under another node); empty: keep the source. May be null.
    std::function<std::string()> findSource;
    int result = -1;

    void allocate() {
        std::lock_guard lock(frameMutex_);
        frame_.assign(std::size_t(width) * std::size_t(height) * 4, 0);
    }

    // One open attempt: builds and runs the pipeline and waits for its first
    // frame (bounded). 0, or 13, 22, 24 with *why; a failed attempt leaves
    // no pipeline behind.
    int startOnce(std::string* why);

    // Whether the whole pipeline builds (13 and *why when not); nothing runs.
    int checkPipeline(std::string* why) {
        int code = EWC_OK;
        if (GstElement* p = buildPipeline(&code, why))
            gst_object_unref(p);
        return code;
    }

    // The state the watch thread starts from: Running after a good open,
    // Lost after a failed one under KeepTrying, Starting under InBackground.
    void enter(StreamState state, const std::string& reason) {
        std::lock_guard lock(stateMutex_);
        state_ = state;
        reason_ = reason;
        stop_ = false;
        if (state == StreamState::Lost) {
            ++losses_;
            nextAttempt_ = SteadyClock::now() + reconnectInterval();
        }
    }
    void startWatch() {
        watcher_ = std::thread([this] { watch(); });
    }

    // Ends the watch thread and the pipeline; the buffer keeps the last
    // frame. Owner's thread.
    void stopStream() {
        {
            std::lock_guard lock(stateMutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (watcher_.joinable())
            watcher_.join();
        teardown();
        std::lock_guard lock(stateMutex_);
        state_ = StreamState::Stopped;
    }

    void shutdown() {
        stopStream();
        std::lock_guard lock(stateMutex_);
        state_ = StreamState::Closed;
    }

    int getImage(std::uint8_t* destination) {
        std::lock_guard lock(frameMutex_);
        if (destination && !frame_.empty())
            std::memcpy(destination, frame_.data(), frame_.size());
        framesFetched_ = framesReceived_;
        return 0;
    }

    int bufferSize() {
        std::lock_guard lock(frameMutex_);
        return int(frame_.size());
    }

    void fillStatus(ewc_status& s) {
        s.deviceNumber = deviceNumber;
        s.friendlyName = friendlyName;
        s.width = width;
        s.height = height;
        s.fps = fps;
        s.grabberSubtype = grabberSubtype;
        s.grabberSubtypeName = grabberSubtypeName;
        s.result = result;
        {
            std::lock_guard lock(stateMutex_);
            s.state = state_;
            s.losses = losses_;
            s.returns = returns_;
            s.reason = reason_;
            s.deviceSubtype = deviceSubtype_;
        }
        s.deviceSubtypeName = formats::nameOf(s.deviceSubtype);
        std::lock_guard lock(frameMutex_);
        s.framesReceived = framesReceived_;
        s.framesFetched = framesFetched_;
        s.frameInterval = frameInterval_;
    }

    void colorBalance(std::vector<ColorBalanceChannel>& out) {
        std::lock_guard lock(pipelineMutex_);
        out = channels_;
    }

    int setColorBalance(const std::string& label, int value) {
        std::lock_guard lock(pipelineMutex_);
        auto it = std::find_if(channels_.begin(), channels_.end(),
                               [&](const ColorBalanceChannel& c) { return c.label == label; });
        if (it == channels_.end())
            return 3;
        value = std::clamp(value, it->minValue, it->maxValue);
        it->value = value;
        wantedBalance_[label] = value;
        applyBalanceLocked();
        return 0;
    }

  private:
    std::chrono::milliseconds reconnectInterval() const {
        return std::chrono::milliseconds(std::max(1, options_.reconnectIntervalMs));
    }

    GstElement* buildPipeline(int* code, std::string* why);
    void teardown();
    void watch();
    void noteFirstFrameCaps();
    void readBalanceLocked();
    void applyBalanceLocked();

    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    static GstPadProbeReturn dropRate(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    GstPadProbeReturn keepRate(GstBuffer* buffer);
    void store(GstBuffer* buffer);
    void onBusEvent() {
        {
            std::lock_guard lock(stateMutex_);
            busEvent_ = true;
        }
        wake_.notify_all();
    }

    const int number_;
    const CaptureOptions& options_;

    std::mutex frameMutex_;
    std::vector<std::uint8_t> frame_;  // width × height × 4, allocated at open
    std::int64_t framesReceived_ = 0;
    std::int64_t framesFetched_ = 0;
    double sampleTime_ = -1;    // seconds, of the last frame
    double frameInterval_ = 0;  // seconds between the last two frames
    std::atomic<std::int64_t> lastFrameNs_{0};
    std::atomic<bool> awaitingFirst_{false};
    // dropRate's next due time. The thread that builds a pipeline resets it
    // (the watcher, on a reconnect) while GStreamer's pooled streaming
    // threads, the one that carried the old pipeline among them, read and
    // write it; GStreamer orders them only through GLib's own locks, which
    // promise us nothing. Relaxed is enough: a stale value costs a frame.
    std::atomic<std::int64_t> rateDue_{-1};

    std::mutex stateMutex_;
    std::condition_variable wake_;
    StreamState state_ = StreamState::Closed;
    bool stop_ = false;
    bool busEvent_ = false;
    bool firstFrame_ = false;
    std::int64_t losses_ = 0;
    std::int64_t returns_ = 0;
    std::string reason_;
    Guid deviceSubtype_;
    SteadyClock::time_point nextAttempt_;
    std::thread watcher_;

    std::mutex pipelineMutex_;
    GstElement* pipeline_ = nullptr;  // owned
    gst::BusErrors bus_;
    std::vector<ColorBalanceChannel> channels_;
    std::map<std::string, int> wantedBalance_;
};

GstElement* CaptureLayer::Camera::buildPipeline(int* code, std::string* why) {
    // One pass of conversion and scaling into the frame the windows use.
    // The rate is kept by a probe in front of it (dropRate): videorate
    // aborts the process on streams of variable rate (MJPEG over HTTP).
    const std::string convert =
        hasFactory("videoconvertscale")
            ? std::string("videoconvertscale name=") + kConvert
            : std::string("videoconvert name=") + kConvert + " ! videoscale";
    std::string desc = source;
    if (staticVideo)
        desc += std::string(" ! capsfilter name=") + kDevCaps;
    desc += std::string(" ! decodebin name=") + kDecode + " ! " + convert +
            " ! capsfilter name=" + kOutCaps + " ! appsink name=" + kSink +
            " max-buffers=1 drop=true sync=false enable-last-sample=false";
    std::string error;
    gst::ElementPtr owned = gst::parsePipeline(desc, &error);
    if (!owned) {
        *code = EWC_NO_GRABBER;
        *why = "the pipeline does not build: " + error;
        return nullptr;
    }
    GstElement* p = owned.release();
    if (staticVideo) {
        GstElement* devcaps = gst_bin_get_by_name(GST_BIN(p), kDevCaps);
        GstCaps* wanted = formats::wantedCaps(width, height, fps, askedSubtype);
        if (devcaps && wanted)
            g_object_set(devcaps, "caps", wanted, nullptr);
        if (wanted)
            gst_caps_unref(wanted);
        if (devcaps)
            gst_object_unref(devcaps);
    }
    GstElement* outcaps = gst_bin_get_by_name(GST_BIN(p), kOutCaps);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(p), kSink);
    if (!outcaps || !sink) {
        if (outcaps)
            gst_object_unref(outcaps);
        if (sink)
            gst_object_unref(sink);
        gst_object_unref(p);
        *code = EWC_NO_GRABBER;
        *why = "the pipeline has no frame sink";
        return nullptr;
    }
    GstCaps* out = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width",
                                       G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                       "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(outcaps, "caps", out, nullptr);
    gst_caps_unref(out);
    gst_object_unref(outcaps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Camera::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_object_unref(sink);
    if (GstElement* conv = gst_bin_get_by_name(GST_BIN(p), kConvert)) {
        if (GstPad* pad = gst_element_get_static_pad(conv, "sink")) {
            rateDue_.store(-1, std::memory_order_relaxed);
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &Camera::dropRate, this, nullptr);
            gst_object_unref(pad);
        }
        gst_object_unref(conv);
    }
    return p;
}

// Lets through at most `fps` frames a second, spread evenly, before they
// are converted. Times are the frames' own (arrival time when they have
// none); a source slower than `fps` loses nothing. Streaming thread; no
// allocation.
GstPadProbeReturn CaptureLayer::Camera::dropRate(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* camera = static_cast<Camera*>(self);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer)
        return GST_PAD_PROBE_OK;
    const auto& trace = camera->options_.frameTrace;
    if (trace)
        trace(true);
    const GstPadProbeReturn r = camera->keepRate(buffer);
    if (trace)
        trace(false);
    return r;
}

GstPadProbeReturn CaptureLayer::Camera::keepRate(GstBuffer* buffer) {
    const std::int64_t interval = std::int64_t(1e9 / fps);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const std::int64_t t = GST_CLOCK_TIME_IS_VALID(pts) ? std::int64_t(pts) : nowNs();
    const std::int64_t due = rateDue_.load(std::memory_order_relaxed);
    // Too early for the next frame: dropped. A jump back of the times (a
    // new segment) starts the count again.
    if (due >= 0 && t + interval / 8 < due && due - t <= 2 * interval)
        return GST_PAD_PROBE_DROP;
    rateDue_.store(due < 0 ? t + interval : std::clamp(due + interval, t, t + interval),
                   std::memory_order_relaxed);
    return GST_PAD_PROBE_OK;
}

int CaptureLayer::Camera::startOnce(std::string* why) {
    int code = 0;
    GstElement* p = buildPipeline(&code, why);
    if (!p)
        return code;
    {
        std::lock_guard lock(stateMutex_);
        busEvent_ = false;
        firstFrame_ = false;
    }
    {
        // A new pipeline counts its times from zero again.
        std::lock_guard lock(frameMutex_);
        sampleTime_ = -1;
    }
    // Nobody runs a main loop for this bus: errors and the end of stream
    // wake the watcher, every message is dropped.
    bus_.attach(p);
    {
        std::lock_guard lock(pipelineMutex_);
        pipeline_ = p;
    }
    if (options_.onPipeline)
        options_.onPipeline(number_, p);

    awaitingFirst_ = true;
    if (gst_element_set_state(p, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        awaitingFirst_ = false;
        const std::string error = bus_.error();
        teardown();
        *why = "the stream does not start" + (error.empty() ? std::string() : ": " + error);
        return EWC_NOT_STARTED;
    }
    // The first frame ends the wait at once; a failure or a stop ends it
    // too. No fixed wait: a live pipeline has nothing to "complete".
    bool gotFrame = false, failed = false, stopped = false;
    {
        std::unique_lock lock(stateMutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(std::max(0, options_.firstFrameTimeoutMs)),
                       [&] { return firstFrame_ || busEvent_ || stop_; });
        gotFrame = firstFrame_;
        failed = busEvent_;
        stopped = stop_;
    }
    awaitingFirst_ = false;
    if (gotFrame) {
        noteFirstFrameCaps();
        std::lock_guard lock(pipelineMutex_);
        readBalanceLocked();
        applyBalanceLocked();
        return EWC_OK;
    }
    const std::string error = bus_.error();
    const bool ended = bus_.ended();
    teardown();
    if (stopped) {
        *why = "stopped";
        return EWC_NOT_STARTED;
    }
    if (failed) {
        *why = ended ? std::string("the stream ended before its first frame")
                     : "the stream failed: " + error;
        return EWC_NOT_STARTED;
    }
    *why = "no frame within " + std::to_string(options_.firstFrameTimeoutMs) + " ms";
    return EWC_NO_FRAME;
}

void CaptureLayer::Camera::noteFirstFrameCaps() {
    Guid id;
    std::lock_guard plock(pipelineMutex_);
    if (!pipeline_)
        return;
    if (GstElement* decode = gst_bin_get_by_name(GST_BIN(pipeline_), kDecode)) {
        if (GstPad* pad = gst_element_get_static_pad(decode, "sink")) {
            if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
                if (gst_caps_get_size(caps) > 0)
                    id = formats::subtypeOfStream(gst_caps_get_structure(caps, 0));
                gst_caps_unref(caps);
            }
            gst_object_unref(pad);
        }
        gst_object_unref(decode);
    }
    std::lock_guard lock(stateMutex_);
    deviceSubtype_ = id;
}

void CaptureLayer::Camera::readBalanceLocked() {
    if (!pipeline_)
        return;
    GstElement* e = gst_bin_get_by_interface(GST_BIN(pipeline_), GST_TYPE_COLOR_BALANCE);
    if (!e) {
        channels_.clear();
        return;
    }
    std::vector<ColorBalanceChannel> list;
    GstColorBalance* balance = GST_COLOR_BALANCE(e);
    for (const GList* l = gst_color_balance_list_channels(balance); l; l = l->next) {
        GstColorBalanceChannel* ch = GST_COLOR_BALANCE_CHANNEL(l->data);
        ColorBalanceChannel c;
        c.label = ch->label ? ch->label : "";
        c.minValue = ch->min_value;
        c.maxValue = ch->max_value;
        c.value = gst_color_balance_get_value(balance, ch);
        list.push_back(std::move(c));
    }
    gst_object_unref(e);
    channels_ = std::move(list);
}

void CaptureLayer::Camera::applyBalanceLocked() {
    if (!pipeline_ || wantedBalance_.empty())
        return;
    GstElement* e = gst_bin_get_by_interface(GST_BIN(pipeline_), GST_TYPE_COLOR_BALANCE);
    if (!e)
        return;
    GstColorBalance* balance = GST_COLOR_BALANCE(e);
    for (const GList* l = gst_color_balance_list_channels(balance); l; l = l->next) {
        GstColorBalanceChannel* ch = GST_COLOR_BALANCE_CHANNEL(l->data);
        auto it = wantedBalance_.find(ch->label ? ch->label : "");
        if (it == wantedBalance_.end())
            continue;
        gst_color_balance_set_value(balance, ch, it->second);
        for (ColorBalanceChannel& c : channels_)
            if (c.label == it->first)
                c.value = it->second;
    }
    gst_object_unref(e);
}

void CaptureLayer::Camera::teardown() {
    GstElement* p = nullptr;
    {
        std::lock_guard lock(pipelineMutex_);
        p = pipeline_;
        pipeline_ = nullptr;
    }
    // State NULL joins the streaming threads: no frame or bus callback runs
    // after this. No lock of ours is held, since those callbacks take them.
    if (p) {
        gst::release(gst::ElementPtr(p));
        bus_.clear();
    }
}

void CaptureLayer::Camera::watch() {
    const auto stall = std::chrono::milliseconds(std::max(1, options_.stallTimeoutMs));
    const auto period = std::clamp<std::chrono::milliseconds>(
        stall / 4, std::chrono::milliseconds(5), std::chrono::milliseconds(1000));
    std::unique_lock lock(stateMutex_);
    while (!stop_) {
        if (state_ == StreamState::Running) {
            wake_.wait_for(lock, period, [&] { return stop_ || busEvent_; });
            if (stop_)
                break;
            const std::int64_t silentNs = nowNs() - lastFrameNs_.load();
            std::string why;
            if (busEvent_) {
                // BusErrors has a lock of its own and calls back without it.
                why = bus_.ended() ? std::string("the stream ended")
                                   : "the stream failed: " + bus_.error();
            } else if (silentNs > std::chrono::nanoseconds(stall).count()) {
                why = stall.count() % 1000 == 0
                          ? "no frame for " + std::to_string(stall.count() / 1000) + " s"
                          : "no frame for " + std::to_string(stall.count()) + " ms";
            } else {
                continue;
            }
            state_ = StreamState::Lost;
            ++losses_;
            reason_ = why;
            lock.unlock();
            teardown();
            lock.lock();
            nextAttempt_ = SteadyClock::now() + reconnectInterval();
        } else if (state_ == StreamState::Starting || state_ == StreamState::Lost) {
            // The first attempt is made at once and from the source as
            // listed at the open; only a stream that was lost waits and may
            // have moved.
            const bool first = state_ == StreamState::Starting;
            if (!first) {
                wake_.wait_until(lock, nextAttempt_, [&] { return stop_; });
                if (stop_)
                    break;
            }
            lock.unlock();
            if (!first && findSource) {
                // Only this thread reads the source while the camera is lost.
                std::string again = findSource();
                if (!again.empty())
                    source = std::move(again);
            }
            std::string why;
            const int rc = startOnce(&why);
            lock.lock();
            if (stop_)
                break;
            if (rc == EWC_OK) {
                state_ = StreamState::Running;
                if (!first)
                    ++returns_;
                reason_.clear();
            } else {
                if (first) {
                    state_ = StreamState::Lost;
                    ++losses_;
                }
                reason_ = why;
                nextAttempt_ = SteadyClock::now() + reconnectInterval();
            }
        } else {
            break;
        }
    }
}

GstFlowReturn CaptureLayer::Camera::onNewSample(GstAppSink* sink, gpointer self) {
    auto* camera = static_cast<Camera*>(self);
    const auto& trace = camera->options_.frameTrace;
    if (trace)
        trace(true);
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
        if (GstBuffer* buffer = gst_sample_get_buffer(sample))
            camera->store(buffer);
        gst_sample_unref(sample);
    }
    if (trace)
        trace(false);
    return GST_FLOW_OK;
}

// The frame path: one copy into the preallocated buffer under the camera's
// lock, nothing allocated.
void CaptureLayer::Camera::store(GstBuffer* buffer) {
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    const std::size_t row = std::size_t(width) * 4;
    std::size_t stride = row;
    std::size_t offset = 0;
    if (GstVideoMeta* meta = gst_buffer_get_video_meta(buffer)) {
        stride = std::size_t(meta->stride[0]);
        offset = meta->offset[0];
    }
    const std::size_t need = offset + stride * std::size_t(height - 1) + row;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    bool stored = false;
    if (map.size >= need && stride >= row) {
        std::lock_guard lock(frameMutex_);
        if (frame_.size() == row * std::size_t(height)) {
            const std::uint8_t* src = map.data + offset;
            if (stride == row) {
                std::memcpy(frame_.data(), src, frame_.size());
            } else {
                for (int y = 0; y < height; ++y)
                    std::memcpy(frame_.data() + std::size_t(y) * row, src + std::size_t(y) * stride,
                                row);
            }
            if (GST_CLOCK_TIME_IS_VALID(pts)) {
                const double t = double(pts) / double(GST_SECOND);
                if (sampleTime_ >= 0)
                    frameInterval_ = t - sampleTime_;
                sampleTime_ = t;
            }
            ++framesReceived_;
            stored = true;
        }
    }
    gst_buffer_unmap(buffer, &map);
    if (!stored)
        return;
    lastFrameNs_ = nowNs();
    if (awaitingFirst_.load()) {
        {
            std::lock_guard lock(stateMutex_);
            firstFrame_ = true;
        }
        wake_.notify_all();
    }
}

// ---------------------------------------------------------------------------

CaptureLayer::CaptureLayer(CameraSource& source, CaptureOptions options)
    : ewc_type(rgb32()), source_(source), options_(std::move(options)) {
    for (auto& r : lastResult_)
        r = -1;
}

CaptureLayer::~CaptureLayer() {
    for (int i = 0; i < kCameras; ++i)
        EWC_Close(i);
}

std::shared_ptr<CaptureLayer::Camera> CaptureLayer::camera(int num) const {
    if (!valid(num))
        return nullptr;
    std::lock_guard lock(slotsMutex_);
    return ewc_s[num];
}

int CaptureLayer::EWC_Open(int num, int width, int height, double fps, int deviceIndex,
                           const Guid& grabberSubtype, const Guid& deviceSubtype, OpenMode mode) {
    if (!valid(num))
        return EWC_BAD_NUMBER;
    if (camera(num))
        return EWC_ALREADY_OPEN;
    auto finish = [&](int code) {
        lastResult_[num] = code;
        return code;
    };
    if (!(grabberSubtype == kNullGuid || grabberSubtype == rgb32()))
        return finish(EWC_PIXEL_FORMAT_REFUSED);

    // Choose the device: the n-th of the list, or the first free one.
    std::vector<CameraEntry> list = source_.cameras();
    if (list.size() > std::size_t(kCameras))
        list.resize(kCameras);
    const int count = int(list.size());
    if (ewc_ncam == -1)
        ewc_ncam = count;
    if (count == 0)
        return finish(EWC_NO_DEVICE);
    int device = -1;
    for (int i = 0; i < count && device < 0; ++i)
        if ((deviceIndex == -1 || deviceIndex == i) && !ewc_used[i])
            device = i;
    if (device < 0)
        return finish(EWC_NO_FREE_DEVICE);

    // Sizes and rate: 0 takes the defaults, and what is used becomes the
    // default. Nonsense (negative, or a frame no memory holds) is refused.
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide || !(fps >= 0) ||
        fps > kMaxFps)
        return finish(EWC_FORMAT_REFUSED);
    if (width == 0)
        width = ewc_wx;
    if (height == 0)
        height = ewc_wy;
    if (fps == 0)
        fps = ewc_fps;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || !(fps > 0) ||
        fps > kMaxFps)
        return finish(EWC_FORMAT_REFUSED);
    ewc_wx = width;
    ewc_wy = height;
    ewc_fps = fps;

    auto cam = std::make_shared<Camera>(num, options_);
    cam->width = width;
    cam->height = height;
    cam->fps = fps;
    cam->deviceIndex = deviceIndex;
    cam->deviceNumber = device;
    cam->friendlyName = list[device].name;
    cam->grabberSubtype = rgb32();
    cam->grabberSubtypeName = formats::nameOf(rgb32());
    cam->askedSubtype = deviceSubtype;
    cam->source = list[device].source;
    cam->mode = mode;
    // The same path, else the one camera of the same name (a USB camera
    // plugged in again may get another device node).
    cam->findSource = [&source = source_, name = list[device].name, path = list[device].path] {
        const std::vector<CameraEntry> now = source.cameras();
        for (const CameraEntry& c : now)
            if (c.path == path)
                return c.source;
        const CameraEntry* found = nullptr;
        for (const CameraEntry& c : now) {
            if (c.name != name)
                continue;
            if (found)
                return std::string();  // two of that name: cannot tell
            found = &c;
        }
        return found ? found->source : std::string();
    };

    const SourceShape shape = shapeOf(cam->source);
    if (!shape.builds)
        return finish(EWC_SOURCE_NOT_ADDED);
    cam->staticVideo = shape.staticVideo;
    if (!(deviceSubtype == kNullGuid)) {
        // A format asked of the camera must be one it has.
        GstCaps* wanted = formats::wantedCaps(width, height, fps, deviceSubtype);
        bool offered = false;
        if (wanted && shape.staticVideo) {
            std::string error;
            bool builds = false;
            if (GstCaps* caps = probeCaps(cam->source, &error, &builds)) {
                offered = gst_caps_can_intersect(caps, wanted);
                gst_caps_unref(caps);
            }
        }
        if (wanted)
            gst_caps_unref(wanted);
        if (!offered)
            return finish(EWC_FORMAT_REFUSED);
    }

    if (mode == OpenMode::InBackground) {
        // What an attempt could refuse at once is refused here, so the
        // watch thread is left only with what a running stream may do.
        std::string why;
        if (const int code = cam->checkPipeline(&why); code != EWC_OK)
            return finish(code);
        ewc_used[device] = 1;
        cam->allocate();
        cam->result = EWC_OK;
        cam->enter(StreamState::Starting, {});
        // In its slot before its thread runs, so that what the attempt
        // does (onPipeline, a quick failure) is seen as this camera's.
        {
            std::lock_guard lock(slotsMutex_);
            ewc_s[num] = cam;
        }
        cam->startWatch();
        return finish(EWC_OK);
    }

    ewc_used[device] = 1;
    cam->allocate();
    int rc = EWC_NOT_STARTED;
    std::string why;
    // Under KeepTrying the watch thread makes the further attempts, off the
    // caller's thread.
    const int attempts = mode == OpenMode::KeepTrying ? 1 : kAttempts;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        rc = cam->startOnce(&why);
        if (rc != EWC_NOT_STARTED && rc != EWC_NO_FRAME)
            break;
    }
    cam->result = rc;
    if (rc == EWC_OK) {
        cam->enter(StreamState::Running, {});
        cam->startWatch();
    } else if (mode == OpenMode::KeepTrying && (rc == EWC_NOT_STARTED || rc == EWC_NO_FRAME)) {
        cam->enter(StreamState::Lost, why);
        cam->startWatch();
    } else {
        ewc_used[device] = 0;
        return finish(rc);
    }
    {
        std::lock_guard lock(slotsMutex_);
        ewc_s[num] = std::move(cam);
    }
    return finish(rc);
}

int CaptureLayer::EWC_Stop(int num) {
    std::shared_ptr<Camera> cam = camera(num);
    if (!cam)
        return 2;
    cam->stopStream();
    return 0;
}

int CaptureLayer::EWC_Close(int num) {
    std::shared_ptr<Camera> cam = camera(num);
    if (!cam)
        return 1;
    const int stopped = EWC_Stop(num);
    cam->shutdown();
    {
        std::lock_guard lock(slotsMutex_);
        ewc_s[num].reset();
    }
    if (cam->deviceNumber >= 0 && cam->deviceNumber < kCameras)
        ewc_used[cam->deviceNumber] = 0;
    bool any = false;
    {
        std::lock_guard lock(slotsMutex_);
        for (const auto& c : ewc_s)
            any = any || c;
    }
    if (!any)
        ewc_ncam = -1;
    return stopped == 3 ? 2 : 0;
}

int CaptureLayer::EWC_GetImage(int num, std::uint8_t* destination) {
    std::shared_ptr<Camera> cam = camera(num);
    if (!cam)
        return 1;
    return cam->getImage(destination);
}

int CaptureLayer::EWC_GetBufferSize(int num) {
    std::shared_ptr<Camera> cam = camera(num);
    return cam ? cam->bufferSize() : 0;
}

int CaptureLayer::EWC_GetCameraName(std::vector<ewc_camera>* list, int* count) {
    if (!count)
        return 1;
    const std::vector<CameraEntry> cameras = source_.cameras();
    if (!list) {
        *count = int(cameras.size());
        return 0;
    }
    list->clear();
    for (const CameraEntry& c : cameras) {
        if (int(list->size()) >= *count)
            break;
        list->push_back(ewc_camera{c.name, c.description, c.path});
    }
    *count = int(list->size());
    return 0;
}

int CaptureLayer::ewc_GetFormat(int num, const std::string& nameFilter,
                                std::vector<ewc_format>* list, int* count) {
    if (!valid(num) || !count)
        return EWC_BAD_NUMBER;
    const std::vector<CameraEntry> cameras = source_.cameras();
    if (cameras.empty())
        return EWC_NO_DEVICE;
    const CameraEntry* entry = nullptr;
    if (!nameFilter.empty()) {
        for (const CameraEntry& c : cameras)
            if (c.name.find(nameFilter) != std::string::npos) {
                entry = &c;
                break;
            }
    } else if (std::size_t(num) < cameras.size()) {
        entry = &cameras[std::size_t(num)];
    }
    if (!entry)
        return EWC_NO_FREE_DEVICE;
    std::string error;
    bool builds = false;
    GstCaps* caps = probeCaps(entry->source, &error, &builds);
    if (!builds)
        return EWC_SOURCE_NOT_ADDED;
    std::vector<ewc_format> formats = formats::formatsOf(caps);
    if (caps)
        gst_caps_unref(caps);
    if (formats.size() > std::size_t(std::max(0, *count)))
        formats.resize(std::size_t(std::max(0, *count)));
    *count = int(formats.size());
    if (list)
        *list = std::move(formats);
    return EWC_OK;
}

ewc_status CaptureLayer::ewc_GetStatus(int num) const {
    ewc_status s;
    std::shared_ptr<Camera> cam = camera(num);
    if (!cam) {
        if (valid(num))
            s.result = lastResult_[num];
        return s;
    }
    cam->fillStatus(s);
    return s;
}

int CaptureLayer::ewc_GetColorBalance(int num, std::vector<ColorBalanceChannel>& channels) {
    std::shared_ptr<Camera> cam = camera(num);
    if (!cam)
        return 1;
    cam->colorBalance(channels);
    return 0;
}

int CaptureLayer::ewc_SetColorBalance(int num, const std::string& label, int value) {
    std::shared_ptr<Camera> cam = camera(num);
    if (!cam)
        return 1;
    return cam->setColorBalance(label, value);
}

}  // namespace orvana::camera
