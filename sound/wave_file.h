// RIFF/WAVE files of 8-bit PCM recordings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sound/wave_input.h"

namespace orvana::sound {

// The file bytes: "RIFF" size "WAVE", a 16-byte "fmt " chunk, a "data"
// chunk of `length` bytes and one zero pad byte when length is odd.
std::vector<std::uint8_t> WaveFileBytes(const WaveFormat& format, const std::uint8_t* data,
                                        std::size_t length);

// Creates (replaces) `path` with WaveFileBytes. Returns 1 when written, 0
// when the file cannot be created or written (a partial file is removed).
// Any thread.
int WriteWaveFile(const std::string& path, const WaveFormat& format, const std::uint8_t* data,
                  std::size_t length);

}  // namespace orvana::sound
