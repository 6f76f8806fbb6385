#include "demo/demo_sound.h"

#include <gst/gst.h>

#include <mutex>

namespace orvana::demo {
namespace {

constexpr const char* kVolumeName = "orvana-demo-level";

}  // namespace

struct DemoSound::State {
    std::mutex mutex;
    bool loud = false;
    GstElement* volume = nullptr;  // a reference of ours, or null

    void apply() {
        if (volume)
            g_object_set(volume, "volume", loud ? kLoudVolume : kSoftVolume, nullptr);
    }
    ~State() {
        if (volume)
            gst_object_unref(volume);
    }
};

DemoSound::DemoSound() : state_(std::make_shared<State>()) {}

DemoSound::~DemoSound() = default;

std::string DemoSound::description() {
    return "audiotestsrc is-live=true wave=pink-noise ! volume name=" + std::string(kVolumeName) +
           " volume=" + std::to_string(kSoftVolume);
}

std::function<void(_GstElement*)> DemoSound::hook() const {
    std::shared_ptr<State> state = state_;
    return [state](GstElement* pipeline) {
        GstElement* volume =
            GST_IS_BIN(pipeline) ? gst_bin_get_by_name(GST_BIN(pipeline), kVolumeName) : nullptr;
        std::lock_guard lock(state->mutex);
        if (state->volume)
            gst_object_unref(state->volume);
        // The element outlives its pipeline while we hold it; setting the
        // volume of a closed pipeline's element is harmless.
        state->volume = volume;
        state->apply();
    };
}

void DemoSound::setLoud(bool loud) {
    std::lock_guard lock(state_->mutex);
    if (state_->loud == loud)
        return;
    state_->loud = loud;
    state_->apply();
}

bool DemoSound::loud() const {
    std::lock_guard lock(state_->mutex);
    return state_->loud;
}

}  // namespace orvana::demo
