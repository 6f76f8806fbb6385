#include "sound/wave_file.h"

#include <cstdio>

namespace orvana::sound {
namespace {

void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void tag(std::vector<std::uint8_t>& v, const char* t) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(t[i]));
}

}  // namespace

std::vector<std::uint8_t> WaveFileBytes(const WaveFormat& f, const std::uint8_t* data,
                                        std::size_t length) {
    const std::size_t pad = length % 2;
    std::vector<std::uint8_t> v;
    v.reserve(44 + length + pad);
    tag(v, "RIFF");
    put32(v, static_cast<std::uint32_t>(36 + length + pad));
    tag(v, "WAVE");
    tag(v, "fmt ");
    put32(v, 16);
    put16(v, static_cast<std::uint16_t>(f.formatTag));
    put16(v, static_cast<std::uint16_t>(f.channels));
    put32(v, static_cast<std::uint32_t>(f.samplesPerSec));
    put32(v, static_cast<std::uint32_t>(f.avgBytesPerSec));
    put16(v, static_cast<std::uint16_t>(f.blockAlign));
    put16(v, static_cast<std::uint16_t>(f.bitsPerSample));
    tag(v, "data");
    put32(v, static_cast<std::uint32_t>(length));
    if (length > 0)
        v.insert(v.end(), data, data + length);
    if (pad)
        v.push_back(0);
    return v;
}

int WriteWaveFile(const std::string& path, const WaveFormat& format, const std::uint8_t* data,
                  std::size_t length) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    const std::vector<std::uint8_t> bytes = WaveFileBytes(format, data, length);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        std::remove(path.c_str());
        return 0;
    }
    return 1;
}

}  // namespace orvana::sound
