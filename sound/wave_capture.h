// Keeps the sound input recording without a break into one capture buffer:
// opening, the segment cycling of the capture thread, the metering step and
// the recording snapshot. Owned by the sound monitor's logic object.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/monitor_host.h"
#include "sound/wave_input.h"

namespace orvana::sound {

// Recording lengths outside this range are clamped: below 1 s nothing would
// be recorded and the capture thread would spin; far above, the buffer of
// five lengths would eat the machine's memory.
inline constexpr int kMinRecSec = 1;
inline constexpr int kMaxRecSec = 600;
int clampRecSec(int seconds);

class WaveCapture {
  public:
    // host: Report (any thread) and clock (the capture thread's 100-ms
    // waits). input: the device; null means the system has none.
    WaveCapture(MonitorHost& host, std::unique_ptr<WaveInput> input);
    // Close().
    ~WaveCapture();
    WaveCapture(const WaveCapture&) = delete;
    WaveCapture& operator=(const WaveCapture&) = delete;

    // Opens the device, sizes the buffer to recSec × 5 seconds, adds it,
    // starts recording and (with startThread) the capture thread. Returns
    // false when the device did not open: both error lines are reported and
    // there is no buffer and no thread. Failures of the later steps are
    // reported and opening goes on. UI thread; once.
    bool Open(int recSec, bool startThread = true);
    bool isOpen() const { return opened_; }

    // The metering step: meters the bytes that arrived since the last call.
    // Returns CheckPeakVolume's result and writes *level; false with *level
    // untouched when the device is not open. UI thread.
    bool Meter(double* level);

    // One restart of the capture thread: the ending segment's length is
    // kept, the device starts a new segment at byte 0. Any thread.
    void CycleSegment();

    // The most recent sound in time order (at most the previous segment's
    // length, see MakeWaveFile). False, out empty, when the device is not
    // open. UI thread.
    bool TakeRecording(std::vector<std::uint8_t>* out);

    // The segment length; takes effect at the capture thread's next wait.
    // Any thread.
    void SetRecSec(int seconds) { m_recSec = clampRecSec(seconds); }
    int recSec() const { return m_recSec; }

    // Stops and joins the capture thread, then closes the device. With a
    // virtual clock, time must move (or auto-advance) for the thread to see
    // the stop within its current 100-ms wait. UI thread; idempotent.
    void Close();

    int bufferLength() const { return length_; }
    const WaveFormat& format() const { return m_waveFormat; }
    // The device's position in the current segment (clamped to the buffer),
    // -1 when it cannot be read. Any thread.
    int position();
    // For tests: positions under the lock.
    int readPos();
    int prevSegmentBytes();

  private:
    void WaveDataThread();
    // Position of the current segment, clamped to the buffer; the last good
    // one when the query fails (*failed then set). Caller holds the lock.
    int positionLocked(bool* failed);
    void reportLater(std::vector<const char*>& lines, bool failed, const char* text);

    MonitorHost& host_;
    std::unique_ptr<WaveInput> m_hWaveIn;
    bool opened_ = false;
    WaveFormat m_waveFormat;
    std::unique_ptr<std::uint8_t[]> m_pCaptureBuffer;
    int length_ = 0;

    // Guards the position queries, the restart sequence, m_readPos,
    // m_prevSegmentBytes and lastPos_. Never held while reporting.
    std::mutex CS_WaveDataThread;
    int m_readPos = 0;
    int m_prevSegmentBytes = 0;
    int lastPos_ = 0;  // last position read in the current segment

    std::atomic<int> m_recSec{4};
    std::atomic<bool> m_stopThread{false};
    std::thread thread_;
};

}  // namespace orvana::sound
