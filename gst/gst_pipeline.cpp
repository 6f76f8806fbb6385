#include "gst/gst_pipeline.h"

#include <gst/gst.h>

namespace orvana::gst {

bool ensureGstreamer() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = gst_init_check(nullptr, nullptr, nullptr); });
    return ok;
}

void ObjectUnref::operator()(void* object) const {
    if (object)
        gst_object_unref(object);
}

ElementPtr parsePipeline(const std::string& description, std::string* error) {
    if (!ensureGstreamer()) {
        if (error)
            *error = "GStreamer could not be initialised";
        return nullptr;
    }
    GError* err = nullptr;
    // Fatal errors only: a missing element is an error, not a half pipeline.
    GstElement* p =
        gst_parse_launch_full(description.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &err);
    if (err) {
        if (error)
            *error = err->message ? err->message : "parse error";
        g_error_free(err);
        if (p)
            gst_object_unref(p);
        return nullptr;
    }
    if (!p && error)
        *error = "the pipeline could not be built";
    return ElementPtr(p);
}

void release(ElementPtr pipeline) {
    if (!pipeline)
        return;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline.get());
    if (bus) {
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
}

namespace {
// The device's element as a gst-launch description: its factory and the
// properties that say which device it opens.
std::string sourceOf(GstDevice* device) {
    GstElement* element = gst_device_create_element(device, nullptr);
    if (!element)
        return {};
    gst_object_ref_sink(element);
    std::string out;
    if (GstElementFactory* f = gst_element_get_factory(element))
        out = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f));
    for (const char* prop :
         {"device", "device-path", "path", "target-object", "device-index", "device-name"}) {
        GParamSpec* param = g_object_class_find_property(G_OBJECT_GET_CLASS(element), prop);
        if (!param || !(param->flags & G_PARAM_READABLE) || !(param->flags & G_PARAM_WRITABLE))
            continue;
        GValue value = G_VALUE_INIT;
        g_value_init(&value, param->value_type);
        g_object_get_property(G_OBJECT(element), prop, &value);
        if (!g_param_value_defaults(param, &value)) {
            if (gchar* text = gst_value_serialize(&value)) {
                out += std::string(" ") + prop + "=" + text;
                g_free(text);
            }
        }
        g_value_unset(&value);
    }
    gst_object_unref(element);
    return out;
}
}  // namespace

std::vector<DeviceEntry> listDevices(const char* deviceClass, bool withSource) {
    std::vector<DeviceEntry> out;
    if (!ensureGstreamer())
        return out;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, deviceClass, nullptr);
    if (gst_device_monitor_start(monitor)) {
        GList* devices = gst_device_monitor_get_devices(monitor);
        for (GList* l = devices; l; l = l->next) {
            GstDevice* d = GST_DEVICE(l->data);
            DeviceEntry e;
            if (gchar* name = gst_device_get_display_name(d)) {
                e.name = name;
                g_free(name);
            }
            if (gchar* klass = gst_device_get_device_class(d)) {
                e.description = klass;
                g_free(klass);
            }
            if (GstStructure* props = gst_device_get_properties(d)) {
                for (const char* key : {"device.path", "api.v4l2.path", "object.path"}) {
                    if (const gchar* v = gst_structure_get_string(props, key)) {
                        e.path = v;
                        break;
                    }
                }
                gst_structure_free(props);
            }
            if (withSource)
                e.source = sourceOf(d);
            out.push_back(std::move(e));
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    return out;
}

namespace {
GstBusSyncReply onBusMessage(GstBus*, GstMessage* msg, gpointer self) {
    if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
        GError* err = nullptr;
        gst_message_parse_error(msg, &err, nullptr);
        static_cast<BusErrors*>(self)->noteError(err && err->message ? err->message
                                                                     : "stream error");
        if (err)
            g_error_free(err);
    } else if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
        static_cast<BusErrors*>(self)->noteEnd();
    }
    return GST_BUS_DROP;
}
}  // namespace

void BusErrors::setListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void BusErrors::noteError(std::string message) {
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        failed_ = true;
        error_ = std::move(message);
        listener = listener_;
    }
    if (listener)
        listener();
}

void BusErrors::noteEnd() {
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        listener = listener_;
    }
    if (listener)
        listener();
}

bool BusErrors::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

void BusErrors::attach(GstElement* pipeline) {
    clear();
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, &onBusMessage, this, nullptr);
    gst_object_unref(bus);
}

void BusErrors::detach(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
}

bool BusErrors::failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

std::string BusErrors::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void BusErrors::clear() {
    std::lock_guard lock(mutex_);
    failed_ = false;
    ended_ = false;
    error_.clear();
}

}  // namespace orvana::gst
