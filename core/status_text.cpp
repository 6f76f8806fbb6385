#include "core/status_text.h"

#include <cstdarg>
#include <cstdio>

namespace orvana {

std::string strprintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap2);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(ap2);
    return out;
}

namespace {
constexpr int kDay = 1440;
}

std::string SoundStatusBlock(SoundLevelSource& sound) {
    bool any = false;
    double mean = sound.TakeAverageLevel(&any);
    if (!any)
        mean = kSoundLevelFloor;
    return strprintf("平均音量レベル：%g[dB]\r\n\r\n", mean);
}

std::string TemperatureStatusBlock(const SeriesStats& t, const SeriesStats& h) {
    return strprintf(
        "温度：%g度\r\n  24H(min:%g度,ave:%g度,max:%g度)\r\n湿度：%g%%\r\n  "
        "24H(min:%g%%,ave:%g%%,max:%g%%)\r\n\r\n",
        t.ave(1), t.min(kDay), t.ave(kDay), t.max(kDay), h.ave(1), h.min(kDay), h.ave(kDay),
        h.max(kDay));
}

std::string RadiationStatusBlock(const SeriesStats& c) {
    return strprintf("放射線：%g[CPM]\r\n  24H(min:%g[CPM],ave:%g[CPM],max:%g[CPM])\r\n\r\n",
                     c.ave(1), c.min(kDay), c.ave(kDay), c.max(kDay));
}

std::string PowerStatusBlock(const SeriesStats& p) {
    return strprintf("電力：%g[kW]\r\n  24H(min:%g[kW],ave:%g[kW],max:%g[kW])\r\n\r\n", p.ave(1),
                     p.min(kDay), p.ave(kDay), p.max(kDay));
}

std::string BuildStatusText(const StatusSources& src) {
    std::string text;
    if (src.sound)
        text += SoundStatusBlock(*src.sound);
    if (src.temp && src.humid)
        text += TemperatureStatusBlock(*src.temp, *src.humid);
    if (src.cpm)
        text += RadiationStatusBlock(*src.cpm);
    if (src.power)
        text += PowerStatusBlock(*src.power);
    return text;
}

std::string BuildStatusText(const MonitorRegistry& monitors) {
    std::string text;
    for (Monitor* m : monitors.all())
        if (m->running())
            text += m->statusBlock();
    return text;
}

}  // namespace orvana
