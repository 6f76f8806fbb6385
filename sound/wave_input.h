// The sound input as the capture sees it: one device that records unsigned
// 8-bit mono samples into a buffer the caller owns, and reports how far it
// has filled it. Production: GStreamer (gst_wave_input.h); tests: a double
// that lets them write samples and positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orvana::sound {

// The capture format (a PCM wave format record).
struct WaveFormat {
    int formatTag = 1;  // PCM
    int channels = 1;
    int samplesPerSec = 11025;
    int avgBytesPerSec = 11025;
    int blockAlign = 1;
    int bitsPerSample = 8;  // unsigned; silence is 128
};

// One opened input. Every operation returns false when it failed and then
// leaves the device as it was; lastError() says why. Open, AddBuffer, Start,
// Reset and Close are called from one thread at a time (the owner serialises
// them); GetPosition and WithPosition may be called from any thread. The
// device writes into the added buffer from its own thread.
class WaveInput {
  public:
    virtual ~WaveInput() = default;

    // Opens the device for `format`. False when there is no such input or
    // it refuses the format.
    virtual bool Open(const WaveFormat& format) = 0;

    // Hands the device the buffer to record into: data[0..length) must stay
    // valid until Close or until another buffer is added. Not owned. A
    // segment never writes past `length`: samples that do not fit are
    // dropped and the position stays at `length`.
    virtual bool AddBuffer(std::uint8_t* data, std::size_t length) = 0;

    // Starts recording into the buffer from its current position. Starting
    // a device that already records succeeds and changes nothing; a device
    // that stopped on an error is started again.
    virtual bool Start() = 0;

    // Bytes recorded into the current segment.
    virtual bool GetPosition(std::size_t* bytes) = 0;

    // Runs fn(position) while the device is kept from writing into the
    // buffer, so fn may read any byte of it. fn must be short. False, and
    // fn not called, when the position cannot be read.
    virtual bool WithPosition(const std::function<void(std::size_t position)>& fn) = 0;

    // Ends the current segment: the next sample lands at byte 0. Recording
    // goes on without a gap; the buffer stays attached.
    virtual bool Reset() = 0;

    // Stops recording and closes the device; the buffer is no longer
    // touched once this returns. Closing a closed device succeeds.
    virtual bool Close() = 0;

    virtual std::string lastError() const = 0;
};

// Makes inputs for the default sound input. Thread-safe.
class WaveInputFactory {
  public:
    virtual ~WaveInputFactory() = default;
    // Number of sound inputs the system has (0: none at all).
    virtual int DeviceCount() = 0;
    // A new, closed input for the default device. Never null.
    virtual std::unique_ptr<WaveInput> Create() = 0;
};

}  // namespace orvana::sound
