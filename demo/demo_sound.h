// The demo's sound input: a live GStreamer test source of soft pink noise
// (about -30 dB on the sound monitor's meter) that becomes loud (about
// -6 dB) while the schedule says so. It runs through the program's own
// GStreamer sound input: the description replaces the default input and the
// hook, called with each pipeline the input builds, finds the source's volume
// element, so every later change of level reaches the pipeline in use.
#pragma once

#include <functional>
#include <memory>
#include <string>

struct _GstElement;

namespace orvana::demo {

class DemoSound {
  public:
    DemoSound();
    ~DemoSound();
    DemoSound(const DemoSound&) = delete;
    DemoSound& operator=(const DemoSound&) = delete;

    // The source description (GstWaveInputOptions::source).
    static std::string description();

    // The pipeline hook (GstWaveInputOptions::onPipeline). The hook shares
    // this object's state and stays valid after the object is gone. Called
    // on the thread that opens the input.
    std::function<void(_GstElement* pipeline)> hook() const;

    // Loud or soft from now on, in the newest pipeline and in every later
    // one. Any thread.
    void setLoud(bool loud);
    bool loud() const;

    // The source volumes of the two levels.
    static constexpr double kSoftVolume = 0.06;
    static constexpr double kLoudVolume = 1.0;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace orvana::demo
