// libcurl's process-wide set-up, done once before the first handle.
#pragma once

namespace orvana {
// Safe to call from any thread, any number of times.
void ensureCurlGlobalInit();
}  // namespace orvana
