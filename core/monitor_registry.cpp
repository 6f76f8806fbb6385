#include "core/monitor_registry.h"

#include <algorithm>

namespace orvana {

MonitorRegistry::~MonitorRegistry() {
    clear();
}

void MonitorRegistry::add(std::unique_ptr<Monitor> monitor) {
    if (!monitor)
        return;
    owned_.push_back(std::move(monitor));
    view_.clear();
    for (const auto& m : owned_)
        view_.push_back(m.get());
    std::stable_sort(view_.begin(), view_.end(), [](const Monitor* a, const Monitor* b) {
        return a->kind().startOrder < b->kind().startOrder;
    });
}

Monitor* MonitorRegistry::find(MonitorSwitch box) const {
    for (Monitor* m : view_)
        if (m->kind().box == box)
            return m;
    return nullptr;
}

Monitor* MonitorRegistry::find(std::string_view name) const {
    for (Monitor* m : view_)
        if (name == m->kind().name)
            return m;
    return nullptr;
}

bool MonitorRegistry::runningFor(int col) const {
    for (Monitor* m : view_)
        if (m->kind().attachColumn == col && m->running())
            return true;
    return false;
}

void MonitorRegistry::clear() {
    for (auto it = view_.rbegin(); it != view_.rend(); ++it)
        (*it)->stop();
    view_.clear();
    // Destroyed in reverse order of adding, after every window is closed.
    while (!owned_.empty())
        owned_.pop_back();
}

}  // namespace orvana
