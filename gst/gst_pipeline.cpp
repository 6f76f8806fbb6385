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

std::vector<DeviceEntry> listDevices(const char* deviceClass) {
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
    }
    return GST_BUS_DROP;
}
}  // namespace

void BusErrors::noteError(std::string message) {
    std::lock_guard lock(mutex_);
    failed_ = true;
    error_ = std::move(message);
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
    error_.clear();
}

}  // namespace orvana::gst
