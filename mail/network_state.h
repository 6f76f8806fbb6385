// "Is the network up": the sender's gate before its first connection.
#pragma once

#include <memory>
#include <string>

namespace orvana {

class NetworkState {
  public:
    virtual ~NetworkState() = default;
    // True when some non-loopback interface is up. Never blocks for long.
    // Any thread.
    virtual bool isConnected() = 0;
};

// Reads <sysfsRoot>/class/net/*: connected when a non-loopback interface has
// operstate "up", or "unknown" with IFF_UP set in its flags file. A missing
// or unreadable tree means not connected. Never null.
std::unique_ptr<NetworkState> makeSysfsNetworkState(const std::string& sysfsRoot);

}  // namespace orvana
