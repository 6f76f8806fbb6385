// The frame path allocates nothing: every allocation made on a streaming
// thread between the layer's entry into its frame path and its exit is
// counted by replacing the C allocator of this test program. Run with
// G_SLICE=always-malloc so GLib's own small allocations are seen too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "camera/camera_source.h"
#include "camera/capture_layer.h"
#include "tests/camera/camera_test_support.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {
thread_local bool tInFramePath = false;
std::atomic<long> gAllocations{0};

inline void note() {
    if (tInFramePath)
        gAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
    note();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    note();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    note();
    return __libc_realloc(p, n);
}
void* memalign(std::size_t align, std::size_t n) {
    note();
    return __libc_memalign(align, n);
}
void* aligned_alloc(std::size_t align, std::size_t n) {
    note();
    return __libc_memalign(align, n);
}
int posix_memalign(void** out, std::size_t align, std::size_t n) {
    note();
    void* p = __libc_memalign(align, n);
    if (!p)
        return 12;  // ENOMEM
    *out = p;
    return 0;
}
}

namespace orvana::camera {
namespace {

TEST(CaptureFrames, DeliveredWithoutAllocation) {
    ASSERT_STREQ(std::getenv("G_SLICE"), "always-malloc");
    std::atomic<long> passes{0};
    CaptureOptions o;
    o.frameTrace = [&](bool entering) {
        tInFramePath = entering;
        if (entering)
            passes.fetch_add(1, std::memory_order_relaxed);
    };
    // One source that needs no conversion, one that does, at two sizes.
    auto source = makeListedCameraSource(
        "videotestsrc is-live=true pattern=ball;"
        "videotestsrc is-live=true pattern=ball ! video/x-raw,format=I420");
    CaptureLayer layer(*source, o);
    ASSERT_EQ(layer.EWC_Open(0, 640, 480, 15.0, -1, layer.ewc_type, kNullGuid), 0);
    ASSERT_EQ(layer.EWC_Open(1, 320, 240, 15.0, -1, layer.ewc_type, kNullGuid), 0);
    auto frames = [&](int num) { return layer.ewc_GetStatus(num).framesReceived; };
    // The first frames may set up what the sink keeps; count the steady run.
    ASSERT_TRUE(testing::waitUntil([&] { return frames(0) >= 3 && frames(1) >= 3; }));
    gAllocations = 0;
    const long start = passes.load();
    const std::int64_t start0 = frames(0), start1 = frames(1);
    ASSERT_TRUE(
        testing::waitUntil([&] { return frames(0) >= start0 + 20 && frames(1) >= start1 + 20; }));
    EXPECT_EQ(gAllocations.load(), 0) << "over " << passes.load() - start << " passes";
    EXPECT_GE(passes.load() - start, 80);  // both probes and both sinks were counted
}

}  // namespace
}  // namespace orvana::camera
