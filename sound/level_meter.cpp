#include "sound/level_meter.h"

#include <cmath>
#include <numeric>

namespace orvana::sound {

bool CheckPeakVolume(const std::uint8_t* buffer, int endPos, int& readPos, double* level) {
    long long sum = 0;
    int n = 0;
    for (int i = readPos; buffer && i < endPos; ++i) {
        const int s = buffer[i];
        if (s == 0 || s == 255)
            continue;
        sum += static_cast<long long>(s - 128) * (s - 128);
        ++n;
    }
    if (readPos < endPos)
        readPos = endPos;
    if (n == 0) {
        if (level)
            *level = kSilenceDb;
        return false;
    }
    const double rms = std::sqrt(static_cast<double>(sum) / n);
    const double a = rms * 2 * 0.0078125;
    if (level)
        *level = a <= 0.0001 ? kSilenceDb : 20.0 * std::log10(2.0 * a);
    return true;
}

namespace {
double mean(const std::deque<double>& d) {
    if (d.empty())
        return kSilenceDb;
    return std::accumulate(d.begin(), d.end(), 0.0) / static_cast<double>(d.size());
}
}  // namespace

void VolumeLevels::SetVolHis(double level) {
    m_volHis.push_front(level);
    while (static_cast<int>(m_volHis.size()) > m_volHisLen)
        m_volHis.pop_back();
}

double VolumeLevels::GetVolHisAve() const {
    return mean(m_volHis);
}

void VolumeLevels::SetVolHisLong(double level) {
    m_volHisLong.push_front(level);
    while (static_cast<int>(m_volHisLong.size()) > m_volHisLongLen)
        m_volHisLong.pop_back();
}

double VolumeLevels::GetVolHisLongAve() const {
    return mean(m_volHisLong);
}

void VolumeLevels::SetVolIntegTime(int seconds) {
    m_volIntegTime = seconds < 1 ? 1 : seconds;
    m_volHisLen = m_volIntegTime * 1000 / 200;
    while (static_cast<int>(m_volHis.size()) > m_volHisLen)
        m_volHis.pop_back();
}

void VolumeLevels::PreFill(double level) {
    m_volHis.assign(static_cast<std::size_t>(m_volHisLen), level);
}

}  // namespace orvana::sound
