#include "sensors/sensor_layout.h"

namespace orvana::sensors {

std::vector<ControlRect> SensorLayout(SensorLayoutKind kind, int cx, int cy) {
    std::vector<ControlRect> out;
    const int t = (cx - 72) / 3;
    out.push_back({IDC_NOTIFY, 12, 12, 2 * t, 28});
    out.push_back({IDC_SETTINGS, 2 * t + 60, 12, t, 28});

    if (kind == SensorLayoutKind::Owl) {
        const int g = (cx - 64) / 2;
        out.push_back({IDC_GRAPH_LONG, 52, 52, g, cy - 82});
        out.push_back({IDC_GRAPH_SHORT, g + 52, 52, g, cy - 82});
        return out;
    }

    const int g = kind == SensorLayoutKind::Temperature ? (cx - 96) / 2 : (cx - 60) / 2;
    out.push_back({IDC_GRAPH_LONG, 48, 52, g, cy - 72});
    out.push_back({IDC_GRAPH_SHORT, g + 48, 52, g, cy - 72});
    out.push_back({IDC_SPAN_LONG, 48, cy - 20, g, 20});
    out.push_back({IDC_SPAN_SHORT, g + 48, cy - 20, g, 20});

    // Labels from the top (k = 0, the top value) down to the bottom value.
    for (int k = 0; k <= 5; ++k) {
        const int y = 46 + k * (cy - 72) / 5;
        out.push_back({kLeftAxisLabels[5 - k], 6, y, 36, 20});
        if (kind == SensorLayoutKind::Temperature)
            out.push_back({kRightAxisLabels[5 - k], cx - 42, y, 36, 20});
    }
    const int unitY = 46 + (cy - 72) / 2;
    out.push_back({IDC_UNIT_LEFT, 6, unitY, 36, 20});
    if (kind == SensorLayoutKind::Temperature)
        out.push_back({IDC_UNIT_RIGHT, cx - 42, unitY, 36, 20});
    return out;
}

}  // namespace orvana::sensors
