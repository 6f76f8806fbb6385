// Where the controls of a sensor monitor window go for a client area of
// cx by cy pixels (integer arithmetic throughout). Pure geometry, so it is
// tested without a display. The window's minimum size is 320 x 240.
#pragma once

#include <vector>

namespace orvana::sensors {

// Control ids of the sensor windows.
enum SensorControl : int {
    IDC_NOTIFY = 1022,       // "異常を通知"
    IDC_SETTINGS = 1009,     // "設定..."
    IDC_GRAPH_SHORT = 1046,  // right graph frame
    IDC_GRAPH_LONG = 1062,   // left graph frame
    IDC_SPAN_LONG = 1063,
    IDC_SPAN_SHORT = 1051,
    IDC_UNIT_LEFT = 1052,   // "湿度" or "CPM"
    IDC_UNIT_RIGHT = 1053,  // "温度"
};
// Left axis labels, bottom to top; right axis labels, bottom to top.
inline constexpr int kLeftAxisLabels[6] = {1047, 1048, 1058, 1059, 1060, 1061};
inline constexpr int kRightAxisLabels[6] = {1049, 1050, 1054, 1055, 1056, 1057};

inline constexpr int kSensorMinWidth = 320, kSensorMinHeight = 240;

// The temperature window has axis labels on both sides, the radiation window
// on the left only, the power window draws its axis texts itself.
enum class SensorLayoutKind { Temperature, Geiger, Owl };

struct ControlRect {
    int id;
    int x, y, w, h;
};

// Every control the window of `kind` has, with its rectangle.
std::vector<ControlRect> SensorLayout(SensorLayoutKind kind, int cx, int cy);

}  // namespace orvana::sensors
