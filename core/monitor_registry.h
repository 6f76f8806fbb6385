// The monitor kinds of the program, owned and kept in start order.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "core/monitor.h"

namespace orvana {

class MonitorRegistry {
  public:
    MonitorRegistry() = default;
    MonitorRegistry(const MonitorRegistry&) = delete;
    MonitorRegistry& operator=(const MonitorRegistry&) = delete;
    // Stops every monitor (in reverse start order), then destroys them.
    ~MonitorRegistry();

    // Takes the monitor and keeps the list in ascending startOrder; kinds
    // with equal order keep the order they were added in. Null is ignored.
    void add(std::unique_ptr<Monitor> monitor);

    // The monitors in start order. The references stay valid until the
    // registry is destroyed or cleared.
    const std::vector<Monitor*>& all() const { return view_; }
    std::size_t size() const { return view_.size(); }

    // The monitor behind a main-window box, or null when no kind uses it.
    Monitor* find(MonitorSwitch box) const;
    // The monitor of that name, or null.
    Monitor* find(std::string_view name) const;

    // True when some running monitor fills attachment column `col`.
    bool runningFor(int col) const;

    // Stops every monitor in reverse start order, then destroys them.
    void clear();

  private:
    std::vector<std::unique_ptr<Monitor>> owned_;
    std::vector<Monitor*> view_;
};

}  // namespace orvana
