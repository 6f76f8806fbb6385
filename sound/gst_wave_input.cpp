#include "sound/gst_wave_input.h"

#include "gst/gst_pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/gstaudiobasesrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace orvana::sound {
namespace {

constexpr const char* kSinkName = "orvana_sink";

// Device sources default to 10-ms packets: a hundred wake-ups a second for a
// meter read every 200 ms. 100-ms packets cost a third of the CPU time.
constexpr gint64 kLatencyUs = 100000;
constexpr gint64 kBufferUs = 500000;

void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    if (GST_IS_AUDIO_BASE_SRC(element))
        g_object_set(element, "latency-time", kLatencyUs, "buffer-time", kBufferUs, nullptr);
}

std::string capsFor(const WaveFormat& f) {
    // Only unsigned 8 bit is asked of this backend; other widths map to the
    // matching signed little-endian formats so the buffer layout still holds.
    const char* format = f.bitsPerSample == 8 ? "U8" : f.bitsPerSample == 16 ? "S16LE" : "S32LE";
    return "audio/x-raw,format=" + std::string(format) + ",channels=" + std::to_string(f.channels) +
           ",rate=" + std::to_string(f.samplesPerSec) + ",layout=interleaved";
}

class GstWaveInput final : public WaveInput {
  public:
    explicit GstWaveInput(const GstWaveInputOptions& o) : options_(o) {}
    ~GstWaveInput() override { Close(); }

    bool Open(const WaveFormat& format) override {
        if (pipeline_)
            return fail("already open");
        const std::string source = options_.source.empty() ? "autoaudiosrc" : options_.source;
        // No dither: silence must stay at 128, the meter's floor.
        const std::string desc =
            source +
            " ! audioconvert dithering=none noise-shaping=none ! audioresample ! capsfilter caps=" +
            capsFor(format) + " ! appsink name=" + kSinkName + " sync=false emit-signals=false";
        std::string parseError;
        gst::ElementPtr owned = gst::parsePipeline(desc, &parseError);
        if (!owned)
            return fail("pipeline: " + parseError);
        GstElement* p = owned.release();
        if (GST_IS_BIN(p)) {
            // Also reaches the element autoaudiosrc picks when it opens.
            g_signal_connect(p, "deep-element-added", G_CALLBACK(onElementAdded), nullptr);
            GstIterator* it = gst_bin_iterate_recurse(GST_BIN(p));
            GValue item = G_VALUE_INIT;
            while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
                onElementAdded(nullptr, nullptr, GST_ELEMENT(g_value_get_object(&item)), nullptr);
                g_value_reset(&item);
            }
            g_value_unset(&item);
            gst_iterator_free(it);
        }
        GstElement* sink = GST_IS_BIN(p) ? gst_bin_get_by_name(GST_BIN(p), kSinkName) : nullptr;
        if (!sink) {
            gst_object_unref(p);
            return fail("pipeline has no sink");
        }
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &GstWaveInput::onSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        gst_object_unref(sink);

        // Nobody runs a main loop for this bus: errors are noted as they are
        // posted and every message is dropped, so nothing piles up for weeks.
        bus_.attach(p);
        {
            std::lock_guard lock(mutex_);
            failed_ = false;
            pipeline_ = p;
        }
        if (options_.onPipeline)
            options_.onPipeline(p);

        GstStateChangeReturn r = gst_element_set_state(p, GST_STATE_PAUSED);
        if (r == GST_STATE_CHANGE_ASYNC)
            r = gst_element_get_state(p, nullptr, nullptr,
                                      GstClockTime(options_.openTimeoutMs) * GST_MSECOND);
        std::string why;
        if (r == GST_STATE_CHANGE_FAILURE || deviceFailed(&why)) {
            teardown();
            return fail("the input does not open" + (why.empty() ? std::string() : ": " + why));
        }
        return true;
    }

    bool AddBuffer(std::uint8_t* data, std::size_t length) override {
        if (!pipeline_)
            return fail("not open");
        if (!data || length == 0)
            return fail("no buffer");
        std::lock_guard lock(mutex_);
        buffer_ = data;
        length_ = length;
        position_ = std::min(position_, length_);
        return true;
    }

    bool Start() override {
        if (!pipeline_)
            return fail("not open");
        bool restart = false;
        {
            std::lock_guard lock(mutex_);
            if (!buffer_)
                return failLocked("no buffer added");
            recording_ = true;
            restart = failed_ || bus_.failed();
            failed_ = false;
        }
        bus_.clear();
        if (restart)
            gst_element_set_state(pipeline_, GST_STATE_NULL);
        GstState current = GST_STATE_VOID_PENDING;
        gst_element_get_state(pipeline_, &current, nullptr, 0);
        if (!restart && current == GST_STATE_PLAYING)
            return true;
        if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            std::string why;
            deviceFailed(&why);
            std::lock_guard lock(mutex_);
            failed_ = true;
            return failLocked("the input does not start" + (why.empty() ? "" : ": " + why));
        }
        return true;
    }

    bool GetPosition(std::size_t* bytes) override {
        std::lock_guard lock(mutex_);
        if (!pipeline_)
            return failLocked("not open");
        if (bytes)
            *bytes = position_;
        return true;
    }

    bool WithPosition(const std::function<void(std::size_t)>& fn) override {
        std::lock_guard lock(mutex_);
        if (!pipeline_)
            return failLocked("not open");
        fn(position_);
        return true;
    }

    bool Reset() override {
        std::lock_guard lock(mutex_);
        if (!pipeline_)
            return failLocked("not open");
        position_ = 0;
        return true;
    }

    bool Close() override {
        teardown();
        return true;
    }

    std::string lastError() const override {
        std::lock_guard lock(mutex_);
        return error_;
    }

  private:
    static GstFlowReturn onSample(GstAppSink* sink, gpointer self) {
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_OK;
        GstBuffer* buf = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buf && gst_buffer_map(buf, &map, GST_MAP_READ)) {
            static_cast<GstWaveInput*>(self)->store(map.data, map.size);
            gst_buffer_unmap(buf, &map);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    void store(const std::uint8_t* data, std::size_t size) {
        std::lock_guard lock(mutex_);
        if (!recording_ || !buffer_)
            return;
        const std::size_t n = std::min(size, length_ - position_);
        if (n > 0)
            std::memcpy(buffer_ + position_, data, n);
        position_ += n;
    }

    bool deviceFailed(std::string* why) {
        if (why)
            *why = bus_.error();
        std::lock_guard lock(mutex_);
        return failed_ || bus_.failed();
    }

    void teardown() {
        GstElement* p = pipeline_;
        if (!p)
            return;
        // Stopping joins the streaming threads: no callback runs after it.
        gst::release(gst::ElementPtr(p));
        bus_.clear();
        std::lock_guard lock(mutex_);
        pipeline_ = nullptr;
        buffer_ = nullptr;
        length_ = 0;
        position_ = 0;
        recording_ = false;
    }

    bool fail(const std::string& why) {
        std::lock_guard lock(mutex_);
        return failLocked(why);
    }
    bool failLocked(const std::string& why) {
        error_ = why;
        return false;
    }

    GstWaveInputOptions options_;
    GstElement* pipeline_ = nullptr;  // owned; touched by the owner's thread
    mutable std::mutex mutex_;
    std::uint8_t* buffer_ = nullptr;  // not owned
    std::size_t length_ = 0;
    std::size_t position_ = 0;
    bool recording_ = false;
    bool failed_ = false;
    gst::BusErrors bus_;
    std::string error_;
};

class GstWaveInputFactory final : public WaveInputFactory {
  public:
    explicit GstWaveInputFactory(GstWaveInputOptions o) : options_(std::move(o)) {}

    int DeviceCount() override {
        if (!options_.source.empty())
            return 1;  // the override names its one source
        return static_cast<int>(gst::listDevices("Audio/Source").size());
    }

    std::unique_ptr<WaveInput> Create() override {
        return std::make_unique<GstWaveInput>(options_);
    }

  private:
    GstWaveInputOptions options_;
};

}  // namespace

std::unique_ptr<WaveInputFactory> makeGstWaveInputFactory(GstWaveInputOptions options) {
    return std::make_unique<GstWaveInputFactory>(std::move(options));
}

}  // namespace orvana::sound
