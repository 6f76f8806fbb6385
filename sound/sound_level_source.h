// What the periodic status notice reads of the running sound monitor.
#pragma once

namespace orvana::sound {

class SoundLevelSource {
  public:
    virtual ~SoundLevelSource() = default;
    // The mean of the 1-s levels since the previous call (in dB), and
    // restarts the accumulation. *any (when not null) is false when no level
    // was accumulated; the result is then -36.0. UI thread.
    virtual double TakeAverageLevel(bool* any) = 0;
};

}  // namespace orvana::sound
