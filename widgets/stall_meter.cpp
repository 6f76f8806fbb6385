#include "widgets/stall_meter.h"

#include <algorithm>

namespace orvana {

StallMeter::StallMeter(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &StallMeter::onTick);
}

void StallMeter::start() {
    last_ = std::chrono::steady_clock::now();
    timer_.start(kPeriodMs);
}

void StallMeter::skipWait() {
    last_ = std::chrono::steady_clock::now();
}

void StallMeter::onTick() {
    const auto now = std::chrono::steady_clock::now();
    const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(now - last_) -
                      std::chrono::milliseconds(kPeriodMs);
    longest_ = std::max(longest_, late);
    last_ = now;
}

}  // namespace orvana
