#include "core/app_settings.h"

#include <filesystem>
#include <limits>
#include <system_error>

#include "core/checked_settings.h"

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

constexpr int kAnyInt = std::numeric_limits<int>::min();
constexpr int kAnyIntMax = std::numeric_limits<int>::max();

// The keys of "Setting" in their documented load order, with their members,
// defaults and the values they may take: the one table that loading and
// saving both walk. "REBOOT" is not in it (the restart marker is written on
// its own), nor the recipient count and sections, which follow the table.
template <class Settings, class Visitor>
void visitSettingKeys(Settings& s, Visitor&& v) {
    v.integer("WORKING", s.working, 0, 0, 1);
    v.integer("USE_VOLUME", s.useVolume, 1, 0, 1);
    v.integer("USE_CAMERA", s.useCamera, 1, 0, 1);
    v.integer("USE_POWER_DOWN", s.usePowerDown, 1, 0, 1);
    v.integer("USE_TEMPERATURE", s.useTemperature, 1, 0, 1);
    v.integer("USE_GEIGER", s.useGeiger, 1, 0, 1);
    v.integer("USE_OWL", s.useOwl, 1, 0, 1);
    v.text("FROM", s.from, "", kMaxShortText);
    v.text("SMTP", s.smtp, "", kMaxShortText);
    v.text("SUBJECT", s.subject, "orvana", kMaxShortText);
    v.text("USERNAME", s.userName, "", kMaxShortText);
    v.text("PASSWORD", s.password, "", kMaxShortText);
    v.integer("PORTNUM", s.portNum, 1, 0, 1);
    v.integer("USE_QUELLOR_SMTP", s.useQuellorSmtp, 0, 0, 1);
    v.integer("ENABLESSL", s.enableSsl, 0, 0, 1);
    v.integer("AUTOSHUTDOWN", s.autoShutdown, 1, 0, 1);
    v.integer("BATTERYLIMIT", s.batteryLimit, 10, 0, 100);
    v.integer("SEND_TESTMAIL1", s.sendTestMail1, 1, kAnyInt, kAnyIntMax);
    v.integer("SEND_TESTMAIL2", s.sendTestMail2, 1, kAnyInt, kAnyIntMax);
    v.integer("CHECK_TK", s.checkTK, 1, 0, 1);
    v.integer("HOUR_TK", s.hourTK, 0, 0, 11);
    v.integer("HOUR_KA", s.hourKA, 0, 0, 12);
    v.text("TO_KA", s.toKA, defaultKeepAliveAddress(), kMaxShortText);
    v.timeOfDay("TIME_H_TK", "TIME_M_TK", "TIME_S_TK", s.timeTK, 10, 0, 0);
    v.integer("CHECK_RB", s.checkRB, 0, 0, 1);
    v.integer("WEEK_RB", s.weekRB, 0, 0, 17);
    v.timeOfDay("TIME_H_RB", "TIME_M_RB", "TIME_S_RB", s.timeRB, 8, 30, 0);
    const AttachMatrix defaults = defaultAttachMatrix();
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            v.integer(attachKey(r, c), s.attach[r][c], defaults[r][c], 0, 1);
    v.integer("CONV_3GP", s.conv3gp, 0, 0, 1);
    v.text("FFMPEG_PATH", s.ffmpegPath, "", kMaxLongText);
    v.text("FFMPEG_OPTION", s.ffmpegOption, AppSettings().ffmpegOption, kMaxLongText);
    v.integer("ATTACH_GIP", s.attachGip, 0, 0, 1);
    v.text("DATA_DIR", s.dataDir, "", kMaxLongText);
    v.integer("DATA_KEEP_PERIOD", s.dataKeepPeriod, 6, 0, 11);
}

struct KeyLoader {
    CheckedSettings& in;
    TimeT now;
    void integer(const std::string& key, int& value, int def, int min, int max) {
        value = in.integer(key, def, min, max);
    }
    void text(const std::string& key, std::string& value, const std::string& def,
              std::size_t maxLength) {
        value = in.text(key, def, maxLength);
    }
    // Only the time of day is stored; in memory it is today's date at it.
    void timeOfDay(const char* h, const char* m, const char* sec, TimeT& value, int dh, int dm,
                   int ds) {
        value = todayAt(now, in.integer(h, dh, 0, 23), in.integer(m, dm, 0, 59),
                        in.integer(sec, ds, 0, 59));
    }
};

struct KeySaver {
    SettingsStore& st;
    void integer(const std::string& key, int value, int, int, int) {
        st.writeInt(kSection, key, value);
    }
    void text(const std::string& key, const std::string& value, const std::string&, std::size_t) {
        st.writeString(kSection, key, value);
    }
    void timeOfDay(const char* h, const char* m, const char* sec, TimeT value, int, int, int) {
        const LocalTime t = toLocal(value);
        st.writeInt(kSection, h, t.hour);
        st.writeInt(kSection, m, t.minute);
        st.writeInt(kSection, sec, t.second);
    }
};

// More recipients than anybody registers by hand; bounds every scan of the
// sections, so no stored count can stall the start.
constexpr int kMaxRecipients = 1000;

// One more than the highest "UserAddress%d" section below kMaxRecipients that
// holds an address key; 0 when there is none.
int existingRecipientSections(const SettingsStore& st) {
    int n = 0;
    for (int i = 0; i < kMaxRecipients; ++i)
        if (st.contains("UserAddress" + std::to_string(i), "Address"))
            n = i + 1;
    return n;
}

}  // namespace

AppSettings LoadSettings(SettingsStore& st, TimeT now, const std::string& desktopDir,
                         std::vector<std::string>* resetKeys) {
    AppSettings s;
    CheckedSettings in(st, kSection);
    visitSettingKeys(s, KeyLoader{in, now});
    // The stored count when it is a sensible number (sections beyond it are
    // stale and ignored); otherwise every section that is there, so a damaged
    // count never drops recipients.
    int count = 0;
    if (in.has("USER_ADDRESS")) {
        count = in.integer("USER_ADDRESS", -1, 0, kMaxRecipients);
        if (count < 0)
            count = existingRecipientSections(st);
    }
    std::vector<std::string> reset = in.resetKeys();
    for (int n = 0; n < count; ++n) {
        CheckedSettings r(st, "UserAddress" + std::to_string(n));
        CUserAddress a;
        a.m_strAddress = r.text("Address", "", kMaxShortText);
        a.m_bIjyou = r.flag("IJYOU", 0);
        a.m_bTeiki = r.flag("TEIKI", 0);
        a.m_bKanri = r.flag("KANRI", 0);
        a.m_bTest = r.flag("TEST", 0);
        reset.insert(reset.end(), r.resetKeys().begin(), r.resetKeys().end());
        if (a.IsValid())
            s.addresses.push_back(std::move(a));
    }
    if (resetKeys)
        *resetKeys = std::move(reset);

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
    visitSettingKeys(s, KeySaver{st});
    st.writeInt(kSection, "USER_ADDRESS", static_cast<int>(s.addresses.size()));
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
