// The demo's sound switch reaches the pipeline the program's sound input
// builds from the demo's description: the level of the newest pipeline
// follows every change, a pipeline built during a burst starts loud, and the
// hook the input keeps stays safe after the demo's object is gone.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "demo/demo_sound.h"

namespace orvana::demo {
namespace {

struct Pipeline {
    GstElement* p = nullptr;
    Pipeline() {
        GError* error = nullptr;
        p = gst_parse_launch((DemoSound::description() + " ! fakesink").c_str(), &error);
        if (error)
            g_error_free(error);
    }
    ~Pipeline() {
        if (p) {
            gst_element_set_state(p, GST_STATE_NULL);
            gst_object_unref(p);
        }
    }
    double volume() const {
        double v = -1;
        GstElement* e = nullptr;
        GstIterator* it = gst_bin_iterate_elements(GST_BIN(p));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            GstElement* el = GST_ELEMENT(g_value_get_object(&item));
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(el), "volume") &&
                std::string(G_OBJECT_TYPE_NAME(el)) == "GstVolume")
                e = el;
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        if (e)
            g_object_get(e, "volume", &v, nullptr);
        return v;
    }
};

TEST(DemoSound, TheNewestPipelineFollowsTheSwitch) {
    gst_init(nullptr, nullptr);
    auto sound = std::make_unique<DemoSound>();
    auto hook = sound->hook();

    Pipeline first;
    ASSERT_TRUE(first.p);
    // As described: soft until the hook says otherwise.
    EXPECT_NEAR(first.volume(), DemoSound::kSoftVolume, 1e-6);
    hook(first.p);
    sound->setLoud(true);
    EXPECT_NEAR(first.volume(), DemoSound::kLoudVolume, 1e-6);

    // The input reopened during the burst: the new pipeline is loud at once
    // and is the one the switch moves from now on.
    Pipeline second;
    hook(second.p);
    EXPECT_NEAR(second.volume(), DemoSound::kLoudVolume, 1e-6);
    sound->setLoud(false);
    EXPECT_NEAR(second.volume(), DemoSound::kSoftVolume, 1e-6);
    EXPECT_NEAR(first.volume(), DemoSound::kLoudVolume, 1e-6);

    // The program's input keeps the hook after the demo's object is gone.
    sound.reset();
    Pipeline third;
    hook(third.p);
    EXPECT_NEAR(third.volume(), DemoSound::kSoftVolume, 1e-6);
    // A pipeline without the demo's element is accepted and left alone.
    GstElement* other = gst_parse_launch("fakesrc ! fakesink", nullptr);
    hook(other);
    gst_object_unref(other);
}

}  // namespace
}  // namespace orvana::demo
