// The platform facilities that monitor kinds use (a sound input, the
// converter runner, a camera source, the device-library loader, the vendor
// database, ...), kept by interface type. The program's platform code puts
// the production backend of each (app/platform.cpp, the one place that picks
// them); tests put doubles. A kind that finds no backend for what it needs
// cannot run: it never makes a real one itself.
#pragma once

#include <memory>
#include <typeindex>
#include <unordered_map>

namespace orvana {

class Backends {
  public:
    // Keeps `impl` as the backend of Interface, replacing an earlier one.
    // Null removes it. Call before the main window starts its monitors.
    template <class Interface>
    void put(std::unique_ptr<Interface> impl) {
        if (impl)
            items_[std::type_index(typeid(Interface))] =
                std::shared_ptr<Interface>(std::move(impl));
        else
            items_.erase(std::type_index(typeid(Interface)));
    }

    // The backend of Interface, or null when none was put. The object stays
    // owned here and lives as long as this set. UI thread.
    template <class Interface>
    Interface* get() const {
        auto it = items_.find(std::type_index(typeid(Interface)));
        return it == items_.end() ? nullptr : static_cast<Interface*>(it->second.get());
    }

  private:
    std::unordered_map<std::type_index, std::shared_ptr<void>> items_;
};

}  // namespace orvana
