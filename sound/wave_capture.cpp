#include "sound/wave_capture.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "sound/level_meter.h"

namespace orvana::sound {

int clampRecSec(int seconds) {
    return std::clamp(seconds, kMinRecSec, kMaxRecSec);
}

WaveCapture::WaveCapture(MonitorHost& host, std::unique_ptr<WaveInput> input)
    : host_(host), m_hWaveIn(std::move(input)) {}

WaveCapture::~WaveCapture() {
    Close();
}

bool WaveCapture::Open(int recSec, bool startThread) {
    m_recSec = clampRecSec(recSec);
    if (!m_hWaveIn || !m_hWaveIn->Open(m_waveFormat)) {
        host_.Report("Error : WAVE INデバイスのオープンに失敗しました。", 0);
        host_.Report("---- 音量検知機能は使用できません。----", 0);
        return false;
    }
    opened_ = true;
    length_ = m_recSec * 5 * m_waveFormat.avgBytesPerSec;
    m_pCaptureBuffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length_));
    std::memset(m_pCaptureBuffer.get(), 128, static_cast<std::size_t>(length_));
    {
        std::lock_guard lock(CS_WaveDataThread);
        m_readPos = 0;
        m_prevSegmentBytes = 0;
        lastPos_ = 0;
    }
    if (!m_hWaveIn->AddBuffer(m_pCaptureBuffer.get(), static_cast<std::size_t>(length_)))
        host_.Report("初回のwaveInAddBuffer でエラー発生", 1);
    if (!m_hWaveIn->Start())
        host_.Report("初回のwaveInStart でエラー発生", 1);
    m_stopThread = false;
    if (startThread)
        thread_ = std::thread([this] { WaveDataThread(); });
    return true;
}

int WaveCapture::positionLocked(bool* failed) {
    std::size_t pos = 0;
    if (!m_hWaveIn->GetPosition(&pos)) {
        *failed = true;
        return lastPos_;
    }
    *failed = false;
    lastPos_ = static_cast<int>(std::min<std::size_t>(pos, static_cast<std::size_t>(length_)));
    return lastPos_;
}

void WaveCapture::reportLater(std::vector<const char*>& lines, bool failed, const char* text) {
    if (failed)
        lines.push_back(text);
}

bool WaveCapture::Meter(double* level) {
    if (!opened_)
        return false;
    bool failed = false;
    bool usable = false;
    {
        std::lock_guard lock(CS_WaveDataThread);
        const int end = positionLocked(&failed);
        usable = CheckPeakVolume(m_pCaptureBuffer.get(), end, m_readPos, level);
    }
    if (failed)
        host_.Report("waveInGetPosition でエラー発生", 1);
    return usable;
}

void WaveCapture::CycleSegment() {
    if (!opened_)
        return;
    std::vector<const char*> lines;
    {
        std::lock_guard lock(CS_WaveDataThread);
        bool failed = false;
        m_prevSegmentBytes = positionLocked(&failed);
        reportLater(lines, failed, "waveInGetPosition でエラー発生");
        reportLater(lines, !m_hWaveIn->Reset(), "waveInReset でエラー発生");
        reportLater(
            lines, !m_hWaveIn->AddBuffer(m_pCaptureBuffer.get(), static_cast<std::size_t>(length_)),
            "waveInAddBuffer でエラー発生");
        reportLater(lines, !m_hWaveIn->Start(), "waveInStart でエラー発生");
        m_readPos = 0;
        lastPos_ = 0;
    }
    for (const char* line : lines)
        host_.Report(line, 1);
}

bool WaveCapture::TakeRecording(std::vector<std::uint8_t>* out) {
    out->clear();
    if (!opened_)
        return false;
    bool failed = false;
    {
        std::lock_guard lock(CS_WaveDataThread);
        auto copy = [&](int q) {
            const int p = m_prevSegmentBytes;
            const std::uint8_t* b = m_pCaptureBuffer.get();
            if (p <= q) {
                out->assign(b, b + q);
            } else {
                // The tail of the previous segment, then the current one.
                out->reserve(static_cast<std::size_t>(p));
                out->assign(b + q, b + p);
                out->insert(out->end(), b, b + q);
            }
        };
        const bool ok = m_hWaveIn->WithPosition([&](std::size_t pos) {
            lastPos_ =
                static_cast<int>(std::min<std::size_t>(pos, static_cast<std::size_t>(length_)));
            copy(lastPos_);
        });
        if (!ok) {
            // The device does not answer, so it is not writing either.
            failed = true;
            copy(lastPos_);
        }
    }
    if (failed)
        host_.Report("waveInGetPosition でエラー発生", 1);
    return true;
}

void WaveCapture::WaveDataThread() {
    using namespace std::chrono_literals;
    Clock& clock = host_.clock();
    for (;;) {
        const int periods = m_recSec * 10;
        for (int i = 0; i < periods; ++i) {
            if (m_stopThread)
                return;
            clock.sleepFor(100ms);
        }
        if (m_stopThread)
            return;
        CycleSegment();
    }
}

void WaveCapture::Close() {
    m_stopThread = true;
    if (thread_.joinable())
        thread_.join();
    if (opened_) {
        m_hWaveIn->Close();
        opened_ = false;
    }
}

int WaveCapture::position() {
    if (!opened_)
        return -1;
    std::size_t pos = 0;
    if (!m_hWaveIn->GetPosition(&pos))
        return -1;
    return static_cast<int>(std::min<std::size_t>(pos, static_cast<std::size_t>(length_)));
}

int WaveCapture::readPos() {
    std::lock_guard lock(CS_WaveDataThread);
    return m_readPos;
}

int WaveCapture::prevSegmentBytes() {
    std::lock_guard lock(CS_WaveDataThread);
    return m_prevSegmentBytes;
}

}  // namespace orvana::sound
