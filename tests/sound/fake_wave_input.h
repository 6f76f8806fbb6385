// A sound input the tests control: they write samples and positions, and
// make any operation fail.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/wave_input.h"

namespace orvana::sound::testing {

struct FakeDevice {
    std::mutex m;
    std::condition_variable cv;
    std::uint8_t* buf = nullptr;
    std::size_t len = 0;
    std::size_t pos = 0;
    bool open = false;
    bool recording = false;
    bool failOpen = false, failAdd = false, failStart = false, failPosition = false,
         failReset = false;
    int opens = 0, adds = 0, starts = 0, resets = 0, closes = 0;
    int devices = 1;

    // Writes samples at the position as the device would; what does not fit
    // in the buffer is dropped.
    void Feed(const std::vector<std::uint8_t>& samples) {
        std::lock_guard lock(m);
        if (!recording || !buf)
            return;
        const std::size_t n = std::min(samples.size(), len - pos);
        if (n)
            std::memcpy(buf + pos, samples.data(), n);
        pos += n;
    }
    void Feed(std::uint8_t value, std::size_t count) {
        Feed(std::vector<std::uint8_t>(count, value));
    }
    void SetPosition(std::size_t p) {
        std::lock_guard lock(m);
        pos = p;
    }
    std::size_t Position() {
        std::lock_guard lock(m);
        return pos;
    }
    bool WaitResets(int n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, timeout, [&] { return resets >= n; });
    }
};

class FakeWaveInput final : public WaveInput {
  public:
    explicit FakeWaveInput(std::shared_ptr<FakeDevice> d) : d_(std::move(d)) {}
    bool Open(const WaveFormat& f) override {
        std::lock_guard lock(d_->m);
        ++d_->opens;
        if (d_->failOpen || f.samplesPerSec != 11025 || f.bitsPerSample != 8)
            return false;
        d_->open = true;
        return true;
    }
    bool AddBuffer(std::uint8_t* data, std::size_t length) override {
        std::lock_guard lock(d_->m);
        ++d_->adds;
        if (d_->failAdd || !d_->open)
            return false;
        d_->buf = data;
        d_->len = length;
        return true;
    }
    bool Start() override {
        std::lock_guard lock(d_->m);
        ++d_->starts;
        if (d_->failStart || !d_->open)
            return false;
        d_->recording = true;
        return true;
    }
    bool GetPosition(std::size_t* bytes) override {
        std::lock_guard lock(d_->m);
        if (d_->failPosition || !d_->open)
            return false;
        *bytes = d_->pos;
        return true;
    }
    bool WithPosition(const std::function<void(std::size_t)>& fn) override {
        std::lock_guard lock(d_->m);
        if (d_->failPosition || !d_->open)
            return false;
        fn(d_->pos);
        return true;
    }
    bool Reset() override {
        std::lock_guard lock(d_->m);
        ++d_->resets;
        d_->cv.notify_all();
        if (d_->failReset || !d_->open)
            return false;
        d_->pos = 0;
        return true;
    }
    bool Close() override {
        std::lock_guard lock(d_->m);
        ++d_->closes;
        d_->open = false;
        d_->recording = false;
        d_->buf = nullptr;
        return true;
    }
    std::string lastError() const override { return "fake"; }

  private:
    std::shared_ptr<FakeDevice> d_;
};

class FakeWaveInputFactory final : public WaveInputFactory {
  public:
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    int DeviceCount() override {
        std::lock_guard lock(device->m);
        return device->devices;
    }
    std::unique_ptr<WaveInput> Create() override { return std::make_unique<FakeWaveInput>(device); }
};

}  // namespace orvana::sound::testing
