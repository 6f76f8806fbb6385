// Measures how long the UI thread is held: a timer due every 100 ms notes
// how late it fires. Waits the program is documented to make (before a
// shutdown or reboot) are left out by calling skipWait() after them.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

namespace orvana {

class StallMeter : public QObject {
    Q_OBJECT
  public:
    explicit StallMeter(QObject* parent = nullptr);
    // Starts measuring. UI thread.
    void start();
    // The time since the last tick was a documented wait, not a stall.
    void skipWait();
    // The longest stall so far; 0 before start(). UI thread.
    std::chrono::milliseconds longest() const { return longest_; }

    static constexpr int kPeriodMs = 100;

  private:
    void onTick();
    QTimer timer_;
    std::chrono::steady_clock::time_point last_;
    std::chrono::milliseconds longest_{0};
};

}  // namespace orvana
