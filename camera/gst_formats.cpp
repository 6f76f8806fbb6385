#include "camera/gst_formats.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

namespace orvana::camera {
namespace {

// This program's marker in the last 96 bits of its subtype ids.
constexpr std::uint16_t kData2 = 0x4F52;  // "OR"
constexpr std::uint16_t kData3 = 0x5641;  // "VA"
constexpr std::array<std::uint8_t, 8> kData4{0x4E, 0x41, 0x43, 0x41, 0x4D, 0x00, 0x00, 0x01};

constexpr std::uint32_t fourcc(const char (&c)[5]) {
    return std::uint32_t(std::uint8_t(c[0])) | std::uint32_t(std::uint8_t(c[1])) << 8 |
           std::uint32_t(std::uint8_t(c[2])) << 16 | std::uint32_t(std::uint8_t(c[3])) << 24;
}

constexpr Guid ownId(std::uint32_t code) {
    return Guid{code, kData2, kData3, kData4};
}

// Each table name with its FOURCC, its GStreamer counterpart (media type
// and raw format; none for names GStreamer does not know), and its bits per
// pixel. Aliases (IYUV of I420, Y8 and Y800 of GREY) are never chosen when
// caps are named, only understood when asked for.
struct Row {
    const char* name;
    std::uint32_t code;
    const char* media;   // null: no counterpart
    const char* format;  // raw format, or null
    int bits;
    bool alias;
};

constexpr Row kRows[32] = {
    {"YUY2", fourcc("YUY2"), "video/x-raw", "YUY2", 16, false},
    {"MJPG", fourcc("MJPG"), "image/jpeg", nullptr, 24, false},
    {"H264", fourcc("H264"), "video/x-h264", nullptr, 24, false},
    {"IYUV", fourcc("IYUV"), "video/x-raw", "I420", 12, true},
    {"RGB24", fourcc("RG24"), "video/x-raw", "BGR", 24, false},
    {"RGB32", fourcc("RG32"), "video/x-raw", "BGRx", 32, false},
    {"I420", fourcc("I420"), "video/x-raw", "I420", 12, false},
    {"RGB555", fourcc("R555"), "video/x-raw", "RGB15", 16, false},
    {"YV12", fourcc("YV12"), "video/x-raw", "YV12", 12, false},
    {"NV11", fourcc("NV11"), nullptr, nullptr, 12, false},
    {"NV12", fourcc("NV12"), "video/x-raw", "NV12", 12, false},
    {"NV24", fourcc("NV24"), "video/x-raw", "NV24", 24, false},
    {"AYUV", fourcc("AYUV"), "video/x-raw", "AYUV", 32, false},
    {"UYVY", fourcc("UYVY"), "video/x-raw", "UYVY", 16, false},
    {"IMC1", fourcc("IMC1"), nullptr, nullptr, 12, false},
    {"IMC2", fourcc("IMC2"), nullptr, nullptr, 12, false},
    {"IMC3", fourcc("IMC3"), nullptr, nullptr, 12, false},
    {"IMC4", fourcc("IMC4"), nullptr, nullptr, 12, false},
    {"Y411", fourcc("Y411"), "video/x-raw", "IYU1", 12, false},
    {"Y41P", fourcc("Y41P"), nullptr, nullptr, 12, false},
    {"YVU9", fourcc("YVU9"), "video/x-raw", "YVU9", 9, false},
    {"YVYU", fourcc("YVYU"), "video/x-raw", "YVYU", 16, false},
    {"IF09", fourcc("IF09"), nullptr, nullptr, 9, false},
    {"P010", fourcc("P010"), "video/x-raw", "P010_10LE", 24, false},
    {"P016", fourcc("P016"), "video/x-raw", "P016_LE", 24, false},
    {"P210", fourcc("P210"), nullptr, nullptr, 32, false},
    {"P216", fourcc("P216"), nullptr, nullptr, 32, false},
    {"GREY", fourcc("GREY"), "video/x-raw", "GRAY8", 8, false},
    {"Y8", fourcc("Y8  "), "video/x-raw", "GRAY8", 8, true},
    {"Y800", fourcc("Y800"), "video/x-raw", "GRAY8", 8, true},
    {"Y16", fourcc("Y16 "), "video/x-raw", "GRAY16_LE", 16, false},
    {"BY8", fourcc("BY8 "), "video/x-bayer", nullptr, 8, false},
};

std::array<SubtypeName, 32> makeTable() {
    std::array<SubtypeName, 32> t{};
    for (std::size_t i = 0; i < 32; ++i)
        t[i] = SubtypeName{ownId(kRows[i].code), kRows[i].name};
    return t;
}

const Row* rowOf(const Guid& id) {
    for (const Row& r : kRows)
        if (ownId(r.code) == id)
            return &r;
    return nullptr;
}

// The table row GStreamer's raw format name maps to (no aliases).
const Row* rowOfRawFormat(const char* format) {
    if (!format)
        return nullptr;
    if (std::strcmp(format, "BGRA") == 0)
        format = "BGRx";  // the same bytes; the fourth is not looked at
    for (const Row& r : kRows)
        if (!r.alias && r.format && std::strcmp(r.format, format) == 0)
            return &r;
    return nullptr;
}

Guid idOfRawFormat(const char* format) {
    if (const Row* r = rowOfRawFormat(format))
        return ownId(r->code);
    const GstVideoFormat f = gst_video_format_from_string(format);
    const guint32 code = f == GST_VIDEO_FORMAT_UNKNOWN ? 0 : gst_video_format_to_fourcc(f);
    return code ? ownId(code) : kNullGuid;
}

int bitsOfRawFormat(const char* format) {
    if (const Row* r = rowOfRawFormat(format))
        return r->bits;
    const GstVideoFormatInfo* info =
        gst_video_format_get_info(gst_video_format_from_string(format));
    if (!info || GST_VIDEO_FORMAT_INFO_FORMAT(info) == GST_VIDEO_FORMAT_UNKNOWN)
        return 0;
    double bits = 0;
    for (guint c = 0; c < GST_VIDEO_FORMAT_INFO_N_COMPONENTS(info); ++c)
        bits += double(GST_VIDEO_FORMAT_INFO_DEPTH(info, c)) /
                double((1 << GST_VIDEO_FORMAT_INFO_W_SUB(info, c)) *
                       (1 << GST_VIDEO_FORMAT_INFO_H_SUB(info, c)));
    return int(bits + 0.5);
}

// The raw format a structure names: a fixed one, or from a list the first
// that the table names in table order (what a user would recognise).
std::string rawFormatOf(const GstStructure* s) {
    const GValue* v = gst_structure_get_value(s, "format");
    if (!v)
        return {};
    if (G_VALUE_HOLDS_STRING(v))
        return g_value_get_string(v);
    if (GST_VALUE_HOLDS_LIST(v)) {
        const guint n = gst_value_list_get_size(v);
        for (const Row& r : kRows) {
            if (r.alias || !r.format || std::strcmp(r.media, "video/x-raw") != 0)
                continue;
            for (guint i = 0; i < n; ++i) {
                const GValue* item = gst_value_list_get_value(v, i);
                if (G_VALUE_HOLDS_STRING(item) &&
                    std::strcmp(g_value_get_string(item), r.format) == 0)
                    return r.format;
            }
        }
        if (n > 0 && G_VALUE_HOLDS_STRING(gst_value_list_get_value(v, 0)))
            return g_value_get_string(gst_value_list_get_value(v, 0));
    }
    return {};
}

// The values of an int field: one, each of a list, or nullopt-like empty
// with `range` set for a range.
struct IntField {
    std::vector<int> values;
    bool range = false;
    int min = 0, max = 0, step = 1;
};

IntField intField(const GstStructure* s, const char* name) {
    IntField f;
    const GValue* v = gst_structure_get_value(s, name);
    if (!v)
        return f;
    if (G_VALUE_HOLDS_INT(v)) {
        f.values.push_back(g_value_get_int(v));
    } else if (GST_VALUE_HOLDS_INT_RANGE(v)) {
        f.range = true;
        f.min = gst_value_get_int_range_min(v);
        f.max = gst_value_get_int_range_max(v);
        f.step = std::max(1, gst_value_get_int_range_step(v));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_INT(item))
                f.values.push_back(g_value_get_int(item));
        }
    }
    return f;
}

bool fits(const IntField& f, int x) {
    if (f.range)
        return x >= f.min && x <= f.max && (x - f.min) % f.step == 0;
    return std::find(f.values.begin(), f.values.end(), x) != f.values.end();
}

double fractionValue(const GValue* v) {
    const int d = gst_value_get_fraction_denominator(v);
    return d ? double(gst_value_get_fraction_numerator(v)) / d : 0.0;
}

// The highest rate a structure offers; a range offers at most 30.
double highestRate(const GstStructure* s) {
    const GValue* v = gst_structure_get_value(s, "framerate");
    if (!v)
        return 0;
    if (GST_VALUE_HOLDS_FRACTION(v))
        return fractionValue(v);
    if (GST_VALUE_HOLDS_FRACTION_RANGE(v))
        return std::min(30.0, fractionValue(gst_value_get_fraction_range_max(v)));
    double best = 0;
    if (GST_VALUE_HOLDS_LIST(v))
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (GST_VALUE_HOLDS_FRACTION(item))
                best = std::max(best, fractionValue(item));
            else if (GST_VALUE_HOLDS_FRACTION_RANGE(item))
                best = std::max(
                    best, std::min(30.0, fractionValue(gst_value_get_fraction_range_max(item))));
        }
    return best;
}

ewc_format makeFormat(int w, int h, double fps, const Guid& id, int bits) {
    ewc_format f;
    f.width = w;
    f.height = h;
    f.bitsPerPixel = bits;
    f.fps = fps;
    f.frameInterval = fps > 0 ? std::int64_t(10000000.0 / fps + 0.5) : 0;
    if (f.frameInterval > 0)
        f.fps = 10000000.0 / double(f.frameInterval);
    f.subtype = id;
    f.name = formats::nameOf(id);
    return f;
}

}  // namespace

const std::array<SubtypeName, 32> ewc_guid_mst = makeTable();

Guid ewc_SubtypeId(const std::string& name) {
    for (const Row& r : kRows)
        if (name == r.name)
            return ownId(r.code);
    return kNullGuid;
}

int EWC_GUIDtoTEXT(const Guid& guid, std::string& text) {
    for (const SubtypeName& s : ewc_guid_mst)
        if (s.id == guid) {
            text = s.name;
            return 0;
        }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", unsigned(guid.data1));
    text = buf;
    return 1;
}

namespace formats {

Guid subtypeOf(const GstStructure* s) {
    if (!s)
        return kNullGuid;
    const char* media = gst_structure_get_name(s);
    if (std::strcmp(media, "image/jpeg") == 0)
        return ewc_SubtypeId("MJPG");
    if (std::strcmp(media, "video/x-h264") == 0)
        return ewc_SubtypeId("H264");
    if (std::strcmp(media, "video/x-bayer") == 0)
        return ewc_SubtypeId("BY8");
    if (std::strcmp(media, "video/x-raw") == 0) {
        const std::string format = rawFormatOf(s);
        return format.empty() ? kNullGuid : idOfRawFormat(format.c_str());
    }
    return kNullGuid;
}

Guid subtypeOfStream(const GstStructure* s) {
    if (s && std::strcmp(gst_structure_get_name(s), "application/x-rtp") == 0) {
        const char* enc = gst_structure_get_string(s, "encoding-name");
        if (enc && std::strcmp(enc, "JPEG") == 0)
            return ewc_SubtypeId("MJPG");
        if (enc && std::strcmp(enc, "H264") == 0)
            return ewc_SubtypeId("H264");
        return kNullGuid;
    }
    if (s && std::strncmp(gst_structure_get_name(s), "multipart/", 10) == 0)
        return ewc_SubtypeId("MJPG");
    return subtypeOf(s);
}

std::string nameOf(const Guid& id) {
    if (id == kNullGuid)
        return "AUTO";
    std::string text;
    EWC_GUIDtoTEXT(id, text);
    return text;
}

const std::vector<std::pair<int, int>>& commonSizes() {
    static const std::vector<std::pair<int, int>> sizes = {
        {160, 120}, {176, 144},  {320, 240},  {352, 288},  {640, 360},   {640, 480},
        {800, 600}, {1024, 768}, {1280, 720}, {1280, 960}, {1920, 1080},
    };
    return sizes;
}

std::vector<ewc_format> formatsOf(const GstCaps* caps) {
    std::vector<ewc_format> out;
    if (!caps || gst_caps_is_any(caps) || gst_caps_is_empty(caps)) {
        for (auto [w, h] : commonSizes())
            out.push_back(makeFormat(w, h, 0, kNullGuid, 0));
        return out;
    }
    std::set<std::tuple<int, int, std::uint32_t>> seen;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        const Guid id = subtypeOf(s);
        if (id == kNullGuid)
            continue;  // not a video format we could name (or decode)
        int bits = 0;
        if (const Row* r = rowOf(id))
            bits = r->bits;
        else
            bits = bitsOfRawFormat(rawFormatOf(s).c_str());
        const IntField wf = intField(s, "width");
        const IntField hf = intField(s, "height");
        const double rate = highestRate(s);
        std::vector<std::pair<int, int>> sizes;
        if (wf.range || hf.range) {
            for (auto [w, h] : commonSizes())
                if (fits(wf, w) && fits(hf, h))
                    sizes.emplace_back(w, h);
        } else {
            for (int w : wf.values)
                for (int h : hf.values)
                    sizes.emplace_back(w, h);
        }
        for (auto [w, h] : sizes)
            if (seen.emplace(w, h, id.data1).second)
                out.push_back(makeFormat(w, h, rate, id, bits));
    }
    return out;
}

GstCaps* wantedCaps(int width, int height, double fps, const Guid& subtype) {
    int num = 0, den = 1;
    gst_util_double_to_fraction(fps, &num, &den);
    GstCaps* caps = gst_caps_new_empty();
    auto add = [&](const char* media, const char* format, bool size, bool rate) {
        GstStructure* s = gst_structure_new_empty(media);
        if (format)
            gst_structure_set(s, "format", G_TYPE_STRING, format, nullptr);
        if (size)
            gst_structure_set(s, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
        if (rate)
            gst_structure_set(s, "framerate", GST_TYPE_FRACTION, num, den, nullptr);
        gst_caps_append_structure(caps, s);
    };
    if (subtype == kNullGuid) {
        add("video/x-raw", "BGRx", true, true);
        add("video/x-raw", nullptr, true, true);
        add("image/jpeg", nullptr, true, true);
        add("video/x-raw", "BGRx", true, false);
        add("video/x-raw", nullptr, true, false);
        add("image/jpeg", nullptr, true, false);
        add("video/x-h264", nullptr, true, false);
        add("video/x-raw", nullptr, false, false);
        add("image/jpeg", nullptr, false, false);
        add("video/x-h264", nullptr, false, false);
        return caps;
    }
    const char* media = nullptr;
    const char* format = nullptr;
    if (const Row* r = rowOf(subtype)) {
        media = r->media;
        format = r->format;
    } else if (subtype.data2 == kData2 && subtype.data3 == kData3 && subtype.data4 == kData4) {
        // A raw format outside the table, named by its FOURCC.
        const GstVideoFormat f = gst_video_format_from_fourcc(subtype.data1);
        if (f != GST_VIDEO_FORMAT_UNKNOWN) {
            media = "video/x-raw";
            format = gst_video_format_to_string(f);
        }
    }
    if (!media) {
        gst_caps_unref(caps);
        return nullptr;
    }
    add(media, format, true, true);
    add(media, format, true, false);
    add(media, format, false, false);
    return caps;
}

}  // namespace formats
}  // namespace orvana::camera
