// Waiting in a test for what another thread or process brings about.
#pragma once

#include <chrono>
#include <functional>

namespace orvana::testing {

// Polls `done` every 10 ms until it holds (true) or `timeout` passed; then
// asks once more. For conditions a real peer or a worker brings about: the
// suite runs on a loaded machine, so bounds are generous.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace orvana::testing
