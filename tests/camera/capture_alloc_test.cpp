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
    std::atomic<long> frames{0};
    CaptureOptions o;
    o.frameTrace = [&](bool entering) {
        tInFramePath = entering;
        if (entering)
            frames.fetch_add(1, std::memory_order_relaxed);
    };
    auto source = makeListedCameraSource(
        "videotestsrc is-live=true pattern=ball;"
        "videotestsrc is-live=true pattern=ball ! video/x-raw,format=I420");
    CaptureLayer layer(*source, o);
    ASSERT_EQ(layer.EWC_Open(0, 640, 480, 15.0, -1, layer.ewc_type, kNullGuid), 0);
    ASSERT_EQ(layer.EWC_Open(1, 320, 240, 15.0, -1, layer.ewc_type, kNullGuid), 0);
    // The first frames may set up what the sink keeps; count the steady run.
    ASSERT_TRUE(testing::waitUntil([&] { return frames.load() >= 6; }));
    gAllocations = 0;
    const long start = frames.load();
    ASSERT_TRUE(testing::waitUntil([&] { return frames.load() >= start + 40; }));
    EXPECT_EQ(gAllocations.load(), 0) << "over " << frames.load() - start << " frames";
    EXPECT_GE(layer.ewc_GetStatus(0).framesReceived, 20);
    EXPECT_GE(layer.ewc_GetStatus(1).framesReceived, 20);
}

}  // namespace
}  // namespace orvana::camera
