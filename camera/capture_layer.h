// The video capture layer: up to ten cameras, opened by number, each
// delivering BGRx frames of a chosen size (bytes 0, 1, 2 of a pixel are
// blue, green, red; byte 3 is unused) into a buffer of the layer, from
// which the newest frame is fetched at any time. It also lists the cameras
// and the formats a camera offers, reports a stream that stopped and opens
// it again, and reaches the source's colour-balance channels.
//
// The documented free functions and globals of the layer are members of one
// CaptureLayer object (one per program, owned by the camera monitor kind);
// their names are kept. Frames travel
//   source → (camera format asked) → decodebin → at most fps frames a
//   second → one conversion and scaling → BGRx W×H → appsink keeping only
//   the newest frame,
// and are copied once into the camera's preallocated buffer under the
// camera's lock; no allocation per frame.
//
// Threads: EWC_Open, EWC_Close, EWC_Stop, ewc_GetFormat, EWC_GetCameraName
// and the colour-balance calls are made from one thread, the owner's (the
// UI thread). EWC_GetImage, EWC_GetBufferSize and ewc_GetStatus may be
// called from any thread. Frames arrive on GStreamer's streaming threads;
// each open camera has one watch thread of its own (the first attempt under
// OpenMode::InBackground, stall detection and reconnection), joined by
// EWC_Stop/EWC_Close and by the destructor.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _GstElement;

namespace orvana::camera {

class CameraSource;

// A subtype id: 128 bits in the layout of a GUID. The layer's ids carry the
// FOURCC of the name in data1 and this program's own marker in the rest.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// The null id: "keep the camera's own format" as a device subtype.
inline constexpr Guid kNullGuid{};

// The subtype table (`ewc_guid_mst`), in this order: "YUY2", "MJPG",
// "H264", "IYUV", "RGB24", "RGB32", "I420", "RGB555", "YV12", "NV11",
// "NV12", "NV24", "AYUV", "UYVY", "IMC1", "IMC2", "IMC3", "IMC4", "Y411",
// "Y41P", "YVU9", "YVYU", "IF09", "P010", "P016", "P210", "P216", "GREY",
// "Y8", "Y800", "Y16", "BY8".
struct SubtypeName {
    Guid id;
    const char* name;
};
extern const std::array<SubtypeName, 32> ewc_guid_mst;

// The id of a table name ("RGB32"); kNullGuid for a name not in the table.
Guid ewc_SubtypeId(const std::string& name);

// Writes the subtype's table name into `text` and returns 0. An id not in
// the table is written as its data1 in upper-case hexadecimal without
// leading zeros or prefix ("%X") and 1 is returned. Any thread.
int EWC_GUIDtoTEXT(const Guid& guid, std::string& text);

// Results of EWC_Open (also kept as the camera's `result`). The codes of the
// original table that mean nothing over GStreamer are never returned.
enum : int {
    EWC_OK = 0,                     // open and delivering frames (InBackground: reserved, starting)
    EWC_BAD_NUMBER = 1,             // camera number out of range (0..9)
    EWC_ALREADY_OPEN = 2,           // this number is open
    EWC_SOURCE_NOT_ADDED = 7,       // the camera's source description does not build
    EWC_NO_DEVICE = 8,              // the camera list is empty
    EWC_NO_FREE_DEVICE = 9,         // no free camera matches the device index
    EWC_FORMAT_REFUSED = 12,        // the source offers nothing of the asked device subtype
    EWC_NO_GRABBER = 13,            // the conversion elements are missing (plugins)
    EWC_PIXEL_FORMAT_REFUSED = 14,  // a grabber subtype other than RGB32 (or null)
    EWC_NOT_STARTED = 22,           // the pipeline did not start, or failed before a frame
    EWC_NO_FRAME = 24,              // no frame within the first-frame bound (3 s)
};

// One offered format of a camera (`ewc_format`).
struct ewc_format {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::int64_t frameInterval = 0;  // 100-ns units; 0 when the rate is variable
    double fps = 0;                  // 10 000 000 ÷ frameInterval (0 when variable)
    Guid subtype;                    // kNullGuid: only known once connected
    std::string name;                // table name, "%X" for others, "AUTO" for kNullGuid
};

// One entry of the camera list (`ewc_camera`).
struct ewc_camera {
    std::string name;
    std::string description;
    std::string path;
};

// How EWC_Open treats a camera that does not start (22 or 24).
enum class OpenMode {
    Once,          // three attempts; then the camera is freed and stays closed
    KeepTrying,    // one attempt (the caller waits for no more than one
                   // first-frame bound); on 22 or 24 the code is returned all
                   // the same, but the camera stays reserved in state Lost and
                   // is tried again on its watch thread like a lost stream
    InBackground,  // no attempt on the caller's thread: the camera is
                   // checked, reserved and left in state Starting while its
                   // watch thread makes the first attempt at once; a first
                   // attempt that fails is a loss (state Lost, retried)
};

enum class StreamState {
    Closed,    // not open
    Starting,  // InBackground: the first attempt is in progress; neither
               // lost nor running, and no loss or return counted yet
    Running,   // frames are arriving
    Lost,      // the stream stopped (or never started under KeepTrying or
               // InBackground); reopened every reconnect interval on the
               // watch thread
    Stopped,   // EWC_Stop: stopped on purpose, not watched
};

// What the window and the monitor see of one camera. A snapshot; any thread.
struct ewc_status {
    StreamState state = StreamState::Closed;
    // Code of the last EWC_Open; -1 before. Under InBackground 0 whatever
    // the first attempt gives (state and reason tell that).
    int result = -1;
    int deviceNumber = -1;     // index in the camera list; -1 when closed
    std::string friendlyName;  // the camera's name (no password)
    int width = 0, height = 0;
    double fps = 0;
    Guid grabberSubtype;  // always RGB32 while open
    std::string grabberSubtypeName;
    Guid deviceSubtype;               // what the camera sends, once known; else kNullGuid
    std::string deviceSubtypeName;    // "AUTO" while unknown
    std::int64_t framesReceived = 0;  // frames stored since the open
    std::int64_t framesFetched = 0;   // number of the frame EWC_GetImage gave last
    double frameInterval = 0;         // seconds between the last two frames
    // Loss and return: each counts once per event since the open, so an
    // observer that remembers the last values reports each event once.
    std::int64_t losses = 0;
    std::int64_t returns = 0;
    std::string reason;  // why the stream was last lost or did not start; "" when running
};

// One colour-balance channel of the source (GstColorBalance).
struct ColorBalanceChannel {
    std::string label;  // as the driver names it ("Brightness", "Contrast", …)
    int minValue = 0;
    int maxValue = 0;
    int value = 0;
};

struct CaptureOptions {
    // The first-frame bound of one open attempt. Ends as soon as a frame
    // arrives (or the pipeline fails); no fixed wait.
    int firstFrameTimeoutMs = 3000;
    // A running stream with no frame for this long counts as lost.
    int stallTimeoutMs = 10000;
    // How often a lost stream is opened again.
    int reconnectIntervalMs = 10000;
    // Called on the thread that starts a pipeline (EWC_Open's or the watch
    // thread) with the camera number and the pipeline, before it runs.
    // Tests reach their own elements through it. May be null.
    std::function<void(int number, _GstElement* pipeline)> onPipeline;
    // Called on a streaming thread at entry (true) and exit (false) of each
    // pass through the frame path (the rate check before conversion, and
    // the copy into the camera's buffer), so tests can count what happens
    // inside it. Must not allocate. May be null.
    std::function<void(bool entering)> frameTrace;
};

class CaptureLayer {
  public:
    static constexpr int kCameras = 10;

    // `source` is the camera list; not owned, must outlive the layer.
    explicit CaptureLayer(CameraSource& source, CaptureOptions options = {});
    // Closes every open camera (joins their threads).
    ~CaptureLayer();
    CaptureLayer(const CaptureLayer&) = delete;
    CaptureLayer& operator=(const CaptureLayer&) = delete;

    // Opens camera `num` and starts it. Width, height or fps of 0 take the
    // defaults ewc_wx, ewc_wy, ewc_fps, and the values used become the new
    // defaults. `deviceIndex` is the n-th camera of the list, or −1 for the
    // first one not taken by another open camera (ewc_used). The grabber
    // subtype must be RGB32 or null; a device subtype other than null asks
    // the camera for that format (12 when it has none). Each attempt waits
    // at most firstFrameTimeoutMs for the first frame; 22 and 24 are tried
    // three times in all (once under KeepTrying). Returns a code of the
    // table above; 0 means frames are arriving and the watch thread runs.
    // Blocks its caller for at most three first-frame bounds (one under
    // KeepTrying) plus pipeline start-up.
    //
    // InBackground refuses what Once refuses except 22 and 24 (1, 2, 7, 8,
    // 9, 12, 13, 14), then returns 0 without waiting for a frame or
    // starting a pipeline: the camera is reserved (ewc_used, its buffer
    // black) in state Starting, and its watch thread makes the first
    // attempt at once. That attempt ends in Running (no return counted) or
    // in Lost (one loss, the reason kept), after which it is retried every
    // reconnect interval. The caller is held only while the source is
    // built to check it (and, with a device subtype, while a device is
    // asked its formats); never for a first-frame bound or a network peer.
    int EWC_Open(int num, int width, int height, double fps, int deviceIndex,
                 const Guid& grabberSubtype, const Guid& deviceSubtype,
                 OpenMode mode = OpenMode::Once);

    // Stops and frees the camera; its device becomes free. 1 if the number
    // is out of range or not open, 2 if stopping failed, else 0. Ends an
    // attempt in progress (a first-frame wait, a connection to a silent
    // network camera) without waiting for its bound; an RTSP camera that
    // stopped answering mid-stream holds it for rtspsrc's teardown wait
    // (100 ms).
    int EWC_Close(int num);

    // Stops the stream (the watch thread ends; the buffer keeps the last
    // frame). 0 done, 2 nothing to stop. (3, a stop that did not complete
    // in 3 s, cannot happen here: stopping a pipeline is synchronous.)
    // Prompt as EWC_Close.
    int EWC_Stop(int num);

    // Copies the newest frame (EWC_GetBufferSize bytes, top row first) into
    // `destination` when it is not null, under the camera's lock, and marks
    // it fetched. 1 if the number is out of range or not open, else 0. The
    // buffer's contents before the first frame are black (all bytes 0).
    // `destination` must hold EWC_GetBufferSize bytes of this same open: a
    // thread other than the owner's must not fetch while the owner may
    // reopen the camera at another size.
    int EWC_GetImage(int num, std::uint8_t* destination);

    // Bytes of one frame (width × height × 4); 0 if not open or the number
    // is out of range.
    int EWC_GetBufferSize(int num);

    // The camera list. With `list` null, only *count is set, to the number
    // of cameras. Otherwise at most *count entries (in/out) are put into
    // *list (replacing its contents) and *count becomes the number put.
    // Returns 0; 1 when count is null.
    int EWC_GetCameraName(std::vector<ewc_camera>* list, int* count);

    // The formats the `num`-th camera of the list offers (or the first
    // whose name contains `nameFilter` when that is not empty), regardless
    // of ewc_used; open or not. Discrete sizes as the source lists them, one
    // entry per size and subtype with its highest rate; a source whose
    // sizes are ranges offers the common sizes from 160×120 to 1920×1080
    // within them; a source whose formats are only known once connected
    // (network cameras) offers the common sizes with the null subtype
    // ("AUTO"), all of which it can deliver by scaling; nothing is
    // connected to ask one (a local device is opened). At most *count
    // (in/out) entries replace *list; *count becomes the number put.
    // Returns 0, 1 (number out of range or count null), 7 (the source does
    // not build), 8 (no camera) or 9 (no such camera).
    int ewc_GetFormat(int num, const std::string& nameFilter, std::vector<ewc_format>* list,
                      int* count);

    // A snapshot of camera `num` (state Closed for a number out of range).
    // Any thread.
    ewc_status ewc_GetStatus(int num) const;

    // The source's colour-balance channels (the first element of the
    // pipeline that implements GstColorBalance). An empty list means the
    // source has none. While the stream is lost, the values last known.
    // 0 listed, 1 not open or number out of range.
    int ewc_GetColorBalance(int num, std::vector<ColorBalanceChannel>& channels);
    // Sets a channel at once (clamped to its range). The value is kept and
    // applied again whenever the stream is reopened. 0 set, 1 not open or
    // number out of range, 3 no channel of that label.
    int ewc_SetColorBalance(int num, const std::string& label, int value);

    // Owner's thread. Defaults for a width, height or rate given as 0;
    // EWC_Open stores the values it used here.
    int ewc_wx = 640;
    int ewc_wy = 480;
    double ewc_fps = 30.0;
    // The subtypes the windows pass to EWC_Open: frames as RGB32 (BGRx),
    // the camera's own format kept.
    Guid ewc_type;
    Guid ewc_device_type = kNullGuid;
    // Device n of the list is taken by an open camera (owner's thread).
    std::array<int, kCameras> ewc_used{};
    // Cameras found by the first open; −1 before it and after the last close.
    int ewc_ncam = -1;

    class Camera;  // one record (`ewc_struct`), internal

  private:
    static bool valid(int num) { return num >= 0 && num < kCameras; }
    // The open camera of a number, or null; any thread.
    std::shared_ptr<Camera> camera(int num) const;

    CameraSource& source_;
    const CaptureOptions options_;
    // The records. A slot is filled and emptied on the owner's thread under
    // slotsMutex_; other threads take a reference under it and work on the
    // record's own locks. A record is shut down (threads joined, pipeline
    // stopped) by the owner before it leaves its slot.
    mutable std::mutex slotsMutex_;
    std::array<std::shared_ptr<Camera>, kCameras> ewc_s;
    std::array<std::atomic<int>, kCameras> lastResult_;  // for numbers with no record
};

}  // namespace orvana::camera
