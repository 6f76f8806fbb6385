#include "core/app_settings.h"

#include <filesystem>
#include <system_error>

#include "orvana/build_config.h"

namespace orvana {

AttachMatrix defaultAttachMatrix() {
    return {{
        {1, 1, 0, 0, 0, 0},  // VOL
        {1, 1, 0, 0, 0, 0},  // CAM
        {0, 1, 1, 0, 1, 0},  // TEMP
        {0, 1, 0, 1, 0, 0},  // GEIGER
        {0, 0, 1, 0, 1, 0},  // OWL
        {0, 1, 1, 0, 1, 0},  // POW
        {1, 1, 1, 1, 1, 1},  // TK
        {0, 0, 0, 0, 0, 0},  // RQ
    }};
}

int attachRowOf(ALERT_MODE kind) {
    switch (kind) {
        case ALERT_VOL:
            return ROW_VOL;
        case ALERT_CAM:
            return ROW_CAM;
        case ALERT_TEMP:
            return ROW_TEMP;
        case ALERT_GEIGER:
            return ROW_GEIGER;
        case ALERT_OWL:
            return ROW_OWL;
        case ALERT_POW:
            return ROW_POW;
        case ALERT_TK:
            return ROW_TK;
        case ALERT_RQ:
            return ROW_RQ;
        default:
            return -1;
    }
}

std::string defaultKeepAliveAddress() {
    return build::kWatchdogAddress;
}

namespace {

TimeT todayAt(TimeT now, int h, int m, int s) {
    LocalTime lt = toLocal(now);
    TimeT t = fromLocal(lt.year, lt.month, lt.day, h, m, s);
    return t < 0 ? now : t;
}

std::string attachKey(int row, int col) {
    return std::string(kAttachRowNames[row]) + "_ATTACH_" + kAttachColNames[col];
}

}  // namespace

AppSettings LoadSettings(SettingsStore& st, TimeT now, const std::string& desktopDir) {
    AppSettings s;
    auto i = [&](const char* key, int def) { return st.getInt(kSection, key, def); };
    auto str = [&](const char* key, const std::string& def) {
        return st.getString(kSection, key, def);
    };
    s.working = i("WORKING", 0);
    s.useVolume = i("USE_VOLUME", 1);
    s.useCamera = i("USE_CAMERA", 1);
    s.usePowerDown = i("USE_POWER_DOWN", 1);
    s.useTemperature = i("USE_TEMPERATURE", 1);
    s.useGeiger = i("USE_GEIGER", 1);
    s.useOwl = i("USE_OWL", 1);
    s.from = str("FROM", "");
    s.smtp = str("SMTP", "");
    s.subject = str("SUBJECT", "orvana");
    s.userName = str("USERNAME", "");
    s.password = str("PASSWORD", "");
    s.portNum = i("PORTNUM", 1);
    s.useQuellorSmtp = i("USE_QUELLOR_SMTP", 0);
    s.enableSsl = i("ENABLESSL", 0);
    s.autoShutdown = i("AUTOSHUTDOWN", 1);
    s.batteryLimit = i("BATTERYLIMIT", 10);
    s.sendTestMail1 = i("SEND_TESTMAIL1", 1);
    s.sendTestMail2 = i("SEND_TESTMAIL2", 1);
    s.checkTK = i("CHECK_TK", 1);
    s.hourTK = i("HOUR_TK", 0);
    s.hourKA = i("HOUR_KA", 0);
    s.toKA = str("TO_KA", defaultKeepAliveAddress());
    {
        int h = i("TIME_H_TK", 10), m = i("TIME_M_TK", 0), sec = i("TIME_S_TK", 0);
        s.timeTK = todayAt(now, h, m, sec);
    }
    s.checkRB = i("CHECK_RB", 0);
    s.weekRB = i("WEEK_RB", 0);
    {
        int h = i("TIME_H_RB", 8), m = i("TIME_M_RB", 30), sec = i("TIME_S_RB", 0);
        s.timeRB = todayAt(now, h, m, sec);
    }
    const AttachMatrix defaults = defaultAttachMatrix();
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            s.attach[r][c] = i(attachKey(r, c).c_str(), defaults[r][c]);
    s.conv3gp = i("CONV_3GP", 0);
    s.ffmpegPath = str("FFMPEG_PATH", "");
    s.ffmpegOption = str("FFMPEG_OPTION", s.ffmpegOption);
    s.attachGip = i("ATTACH_GIP", 0);
    s.dataDir = str("DATA_DIR", "");
    s.dataKeepPeriod = i("DATA_KEEP_PERIOD", 6);
    const int count = i("USER_ADDRESS", 0);
    for (int n = 0; n < count; ++n) {
        const std::string sec = "UserAddress" + std::to_string(n);
        CUserAddress a;
        a.m_strAddress = st.getString(sec, "Address", "");
        a.m_bIjyou = st.getInt(sec, "IJYOU", 0);
        a.m_bTeiki = st.getInt(sec, "TEIKI", 0);
        a.m_bKanri = st.getInt(sec, "KANRI", 0);
        a.m_bTest = st.getInt(sec, "TEST", 0);
        if (a.IsValid())
            s.addresses.push_back(std::move(a));
    }

    if (s.dataDir.empty()) {
        s.dataDir = desktopDir + "/orvana記録";
        st.writeString(kSection, "DATA_DIR", s.dataDir);
        st.sync();
    }
    // Parents too: a machine without a desktop folder must still get its
    // log files somewhere.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(s.dataDir), ec);
    return s;
}

void SaveSetting(SettingsStore& st, const AppSettings& s) {
    auto wi = [&](const char* key, int v) { st.writeInt(kSection, key, v); };
    auto ws = [&](const char* key, const std::string& v) { st.writeString(kSection, key, v); };
    wi("WORKING", s.working);
    wi("USE_VOLUME", s.useVolume);
    wi("USE_CAMERA", s.useCamera);
    wi("USE_POWER_DOWN", s.usePowerDown);
    wi("USE_TEMPERATURE", s.useTemperature);
    wi("USE_GEIGER", s.useGeiger);
    wi("USE_OWL", s.useOwl);
    wi("USE_QUELLOR_SMTP", s.useQuellorSmtp);
    ws("SMTP", s.smtp);
    wi("PORTNUM", s.portNum);
    wi("ENABLESSL", s.enableSsl);
    ws("USERNAME", s.userName);
    ws("PASSWORD", s.password);
    ws("FROM", s.from);
    ws("SUBJECT", s.subject);
    wi("SEND_TESTMAIL1", s.sendTestMail1);
    wi("SEND_TESTMAIL2", s.sendTestMail2);
    wi("AUTOSHUTDOWN", s.autoShutdown);
    wi("BATTERYLIMIT", s.batteryLimit);
    wi("CHECK_TK", s.checkTK);
    wi("HOUR_TK", s.hourTK);
    {
        LocalTime t = toLocal(s.timeTK);
        wi("TIME_H_TK", t.hour);
        wi("TIME_M_TK", t.minute);
        wi("TIME_S_TK", t.second);
    }
    wi("CHECK_RB", s.checkRB);
    wi("WEEK_RB", s.weekRB);
    {
        LocalTime t = toLocal(s.timeRB);
        wi("TIME_H_RB", t.hour);
        wi("TIME_M_RB", t.minute);
        wi("TIME_S_RB", t.second);
    }
    wi("HOUR_KA", s.hourKA);
    ws("TO_KA", s.toKA);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            wi(attachKey(r, c).c_str(), s.attach[r][c]);
    wi("CONV_3GP", s.conv3gp);
    ws("FFMPEG_PATH", s.ffmpegPath);
    ws("FFMPEG_OPTION", s.ffmpegOption);
    wi("ATTACH_GIP", s.attachGip);
    ws("DATA_DIR", s.dataDir);
    wi("DATA_KEEP_PERIOD", s.dataKeepPeriod);
    wi("USER_ADDRESS", static_cast<int>(s.addresses.size()));
    for (std::size_t n = 0; n < s.addresses.size(); ++n) {
        const std::string sec = "UserAddress" + std::to_string(n);
        const CUserAddress& a = s.addresses[n];
        st.writeString(sec, "Address", a.m_strAddress);
        st.writeInt(sec, "IJYOU", a.m_bIjyou);
        st.writeInt(sec, "TEIKI", a.m_bTeiki);
        st.writeInt(sec, "KANRI", a.m_bKanri);
        st.writeInt(sec, "TEST", a.m_bTest);
    }
    st.sync();
}

Placement LoadPlacement(const SettingsStore& st, const std::string& section) {
    Placement p;
    p.left = st.getInt(section, "left", -10000);
    p.top = st.getInt(section, "top", -10000);
    p.right = st.getInt(section, "right", -10000);
    p.bottom = st.getInt(section, "bottom", -10000);
    return p;
}

void SavePlacement(SettingsStore& st, const std::string& section, const Placement& p) {
    st.writeInt(section, "left", p.left);
    st.writeInt(section, "top", p.top);
    st.writeInt(section, "right", p.right);
    st.writeInt(section, "bottom", p.bottom);
    st.sync();
}

TimeT LoadLastAlive(const SettingsStore& st) {
    int y = st.getInt("Time", "CloseYear", 0);
    if (y == 0)
        return 0;
    TimeT t = fromLocal(y, st.getInt("Time", "CloseMonth", 0), st.getInt("Time", "CloseDay", 0),
                        st.getInt("Time", "CloseHour", 0), st.getInt("Time", "CloseMinute", 0),
                        st.getInt("Time", "CloseSecond", 0));
    return t < 0 ? 0 : t;
}

void SaveLastAlive(SettingsStore& st, TimeT t) {
    LocalTime lt = toLocal(t);
    st.writeInt("Time", "CloseYear", lt.year);
    st.writeInt("Time", "CloseMonth", lt.month);
    st.writeInt("Time", "CloseDay", lt.day);
    st.writeInt("Time", "CloseHour", lt.hour);
    st.writeInt("Time", "CloseMinute", lt.minute);
    st.writeInt("Time", "CloseSecond", lt.second);
    st.sync();
}

}  // namespace orvana
