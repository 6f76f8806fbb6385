#include "demo/demo_settings.h"

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
    return store.sync();
}

}  // namespace orvana::demo
