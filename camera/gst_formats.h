// Internal to the capture layer: how GStreamer caps map onto the layer's
// subtype ids and formats, and the caps a camera is asked for.
#pragma once

#include <string>
#include <vector>

#include "camera/capture_layer.h"

typedef struct _GstCaps GstCaps;
typedef struct _GstStructure GstStructure;

namespace orvana::camera::formats {

// The subtype a caps structure names (image/jpeg → MJPG, video/x-raw
// format=BGRx → RGB32, …). A raw format outside the table gets an id of its
// own FOURCC (named "%X"); anything else kNullGuid.
Guid subtypeOf(const GstStructure* s);

// As subtypeOf, for an RTP stream's encoding (JPEG → MJPG, H264 → H264)
// when `s` is application/x-rtp.
Guid subtypeOfStream(const GstStructure* s);

// The table name of an id, "%X" for others, "AUTO" for kNullGuid.
std::string nameOf(const Guid& id);

// The formats of a source's caps, as ewc_GetFormat lists them. Null, empty
// or ANY caps: the common sizes with the null subtype.
std::vector<ewc_format> formatsOf(const GstCaps* caps);

// The common sizes from 160×120 to 1920×1080.
const std::vector<std::pair<int, int>>& commonSizes();

// The caps a camera is asked for, most wanted first: the size and rate
// asked, then the size at any rate, then anything of the subtype (it is
// scaled). Without a subtype BGRx comes first (no conversion at all), then
// any raw format, then the compressed ones. Null when `subtype` has no
// GStreamer counterpart. The caller owns the result (gst_caps_unref).
GstCaps* wantedCaps(int width, int height, double fps, const Guid& subtype);

}  // namespace orvana::camera::formats
