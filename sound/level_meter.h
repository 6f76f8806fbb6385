// Level metering of unsigned 8-bit samples and the two level histories.
// Plain data, no threads: the owner decides who calls (the UI thread).
#pragma once

#include <cstdint>
#include <deque>

namespace orvana::sound {

// The floor used for a buffer without usable samples, and the bottom of the
// display scale.
inline constexpr double kSilenceDb = -36.0;

// Meters buffer[readPos .. endPos): samples 0 and 255 (clipped) are skipped,
// the level is 20·log10(rms/32) dB of the rest, or kSilenceDb when none are
// left or the amplitude is negligible. Writes *level, sets readPos = endPos
// and returns true when at least one sample was usable. endPos at or before
// readPos meters nothing (false, -36 dB). Allocates nothing.
bool CheckPeakVolume(const std::uint8_t* buffer, int endPos, int& readPos, double* level);

// The short history of 200-ms levels and the long history of 1-s averages,
// newest first.
class VolumeLevels {
  public:
    // Inserts at the front and keeps at most m_volHisLen entries.
    void SetVolHis(double level);
    // Mean of the entries present; kSilenceDb when empty.
    double GetVolHisAve() const;
    // Inserts at the front and keeps at most m_volHisLongLen entries.
    void SetVolHisLong(double level);
    double GetVolHisLongAve() const;
    // m_volHisLen = seconds × 5; a shorter limit cuts the history at once.
    // Seconds below 1 count as 1 (an empty history has no mean).
    void SetVolIntegTime(int seconds);
    // Fills the short history with m_volHisLen entries of `level`.
    void PreFill(double level);

    int m_volHisLen = 15;
    int m_volIntegTime = 3;
    int m_volHisLongLen = 60;
    std::deque<double> m_volHis;
    std::deque<double> m_volHisLong;
};

}  // namespace orvana::sound
