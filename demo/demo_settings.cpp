#include "demo/demo_settings.h"

#include <algorithm>

#include "core/app_settings.h"
#include "core/status_text.h"

namespace orvana::demo {

bool writeDemoSettings(SettingsStore& store, const std::string& dataDir, const std::string& smtp) {
    AppSettings s;
    s.working = 1;
    s.useVolume = s.useCamera = s.usePowerDown = 1;
    s.useTemperature = s.useGeiger = s.useOwl = 1;
    s.useQuellorSmtp = smtp.empty() ? 0 : 1;
    s.smtp = smtp;
    s.portNum = 0;  // port 25 rules: no login
    s.enableSsl = 0;
    s.from = kDemoFrom;
    s.subject = kDemoSubject;
    s.checkTK = 1;
    s.hourTK = 9;  // the periodic notice every 15 minutes
    s.timeTK = fromLocal(2000, 1, 1, 10, 0, 0);
    s.hourKA = 9;  // KeepAlive every 30 minutes
    s.toKA = kKeepAliveAddress;
    s.checkRB = 0;  // never reboot the machine
    s.autoShutdown = 1;
    s.batteryLimit = 10;  // the demo's battery never falls below half
    s.attachGip = 0;      // no look-up on the internet
    s.dataDir = dataDir;
    s.addresses = {
        CUserAddress{kOwnerAddress, 1, 1, 1, 0},
        CUserAddress{kGuardAddress, 1, 0, 0, 0},
    };
    SaveSetting(store, s);

    store.writeInt("Volume", "ENABLE_NOTIFY", 1);
    store.writeInt("Volume", "THRESHOLD", kSoundThresholdSlider);

    store.writeInt("Temperature", "mNotify", 1);
    store.writeInt("Temperature", "bTempWarnHi", 1);
    store.writeString("Temperature", "TempWarnHi", strprintf("%g", kTemperatureLimit));
    store.writeString("Temperature", "TempHist", "1");

    store.writeInt("Geiger", "mNotify", 1);
    store.writeInt("Geiger", "bCpmWarnHi", 1);
    store.writeString("Geiger", "CpmWarnHi", strprintf("%g", kRadiationLimit));
    store.writeString("Geiger", "CpmHist", "20");
    store.writeInt("Geiger", "MaTypeWarn", 0);  // judge each minute's count

    store.writeInt("Owl", "mNotify", 1);
    store.writeInt("Owl", "WarnHiEnable", 1);
    store.writeString("Owl", "WarnHiTh", strprintf("%g", kPowerLimit));
    store.writeString("Owl", "WarnHiste", "0.2");
    store.writeInt("Owl", "WarnMaType", 0);  // judge each minute's power

    // Both cameras report motion and keep its pictures; the ball covers a
    // small part of the picture, so the sensitivity is 0.1 % of the pixels.
    for (const char* camera : {"Camera0", "Camera1"}) {
        store.writeInt(camera, "Nofity", 1);
        store.writeInt(camera, "SaveMotion", 1);
        store.writeInt(camera, "SliderPos", kCameraSensitivitySlider);
    }
    return store.sync();
}

std::vector<WindowPlace> demoWindowPlaces(int left, int top, int width, int height) {
    // Room for the title bars the window manager adds above each window.
    constexpr int kMargin = 10, kTitle = 32;
    std::vector<WindowPlace> places;
    const auto add = [&](const char* section, int x, int y, int w, int h) {
        // Inside the work area, even when it is smaller than the windows.
        w = std::min(w, width - 2 * kMargin);
        h = std::min(h, height - kTitle - kMargin);
        x = std::clamp(x, left, left + width - w);
        y = std::clamp(y, top + kTitle, top + height - h);
        places.push_back({section, Placement{x, y, x + w, y + h}});
    };
    const int mainWidth = std::clamp(width * 7 / 25, 320, 500);
    add("Placement", left + kMargin, top + kTitle, mainWidth,
        std::max(480, height - kTitle - kMargin));

    const char* monitors[] = {"Volume", "Temperature", "Geiger", "Owl", "Camera0", "Camera1"};
    const int gridLeft = left + 2 * kMargin + mainWidth;
    const int cellWidth = (left + width - gridLeft) / 2;
    const int cellHeight = height / 3;
    for (int i = 0; i < 6; ++i) {
        const int col = i % 2, row = i / 2;
        add(monitors[i], gridLeft + col * cellWidth, top + kTitle + row * cellHeight,
            std::max(320, cellWidth - kMargin), std::max(240, cellHeight - kTitle - kMargin));
    }
    return places;
}

void writeDemoWindowPlaces(SettingsStore& store, int left, int top, int width, int height) {
    for (const WindowPlace& p : demoWindowPlaces(left, top, width, height))
        SavePlacement(store, p.section, p.rect);
}

}  // namespace orvana::demo
