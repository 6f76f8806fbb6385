// The sound input on GStreamer: <source> ! audioconvert ! audioresample !
// U8 mono 11025 Hz ! appsink. The appsink callback (GStreamer's streaming
// thread) copies the samples into the added buffer under the input's mutex.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sound/wave_input.h"

struct _GstElement;

namespace orvana::sound {

struct GstWaveInputOptions {
    // Source description (gst-launch syntax); empty = "autoaudiosrc", the
    // system's default input.
    std::string source;
    // Called on the opening thread with the pipeline once it is built and
    // before it runs; tests reach their own source elements through it.
    std::function<void(_GstElement* pipeline)> onPipeline;
    // How long Open waits for the pipeline to become ready.
    int openTimeoutMs = 5000;
};

// Never null. The factory may be used from any thread.
std::unique_ptr<WaveInputFactory> makeGstWaveInputFactory(GstWaveInputOptions options);

}  // namespace orvana::sound
