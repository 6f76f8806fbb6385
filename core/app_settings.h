// The global settings of section "Setting" plus the recipient list, as the
// main window holds them in memory, and their loading and saving.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/alert_mode.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "core/user_address.h"

namespace orvana {

// Rows and columns of the attachment matrix; keys are ROW + "_ATTACH_" + COL.
enum AttachRow : int { ROW_VOL, ROW_CAM, ROW_TEMP, ROW_GEIGER, ROW_OWL, ROW_POW, ROW_TK, ROW_RQ };
enum AttachCol : int { COL_VOL, COL_CAM, COL_TEMP, COL_GEIGER, COL_OWL, COL_DESK };
inline constexpr std::array<const char*, 8> kAttachRowNames = {"VOL", "CAM", "TEMP", "GEIGER",
                                                               "OWL", "POW", "TK",   "RQ"};
inline constexpr std::array<const char*, 6> kAttachColNames = {"VOL",    "CAM", "TEMP",
                                                               "GEIGER", "OWL", "DESK"};
using AttachMatrix = std::array<std::array<int, 6>, 8>;
AttachMatrix defaultAttachMatrix();
// The attachment row of a notice kind, or -1 for kinds that carry none.
int attachRowOf(ALERT_MODE kind);

inline constexpr const char* kSection = "Setting";

// The six check boxes of the main window's "監視項目" group, in layout order,
// each with its "USE_*" key. The power-failure watch (PowerDown) belongs to
// the supervision timer; the others each belong to one monitor kind.
enum class MonitorSwitch : int { Sound, Camera, PowerDown, Temperature, Geiger, Owl };
struct MonitorSwitchInfo {
    const char* label;
    const char* key;
};
inline constexpr std::array<MonitorSwitchInfo, 6> kMonitorSwitches = {{
    {"音量", "USE_VOLUME"},
    {"動体", "USE_CAMERA"},
    {"停電", "USE_POWER_DOWN"},
    {"温湿度", "USE_TEMPERATURE"},
    {"放射線", "USE_GEIGER"},
    {"電力", "USE_OWL"},
}};

struct AppSettings {
    int working = 0;                 // "WORKING"
    int useVolume = 1;               // "USE_VOLUME"
    int useCamera = 1;               // "USE_CAMERA"
    int usePowerDown = 1;            // "USE_POWER_DOWN"
    int useTemperature = 1;          // "USE_TEMPERATURE"
    int useGeiger = 1;               // "USE_GEIGER"
    int useOwl = 1;                  // "USE_OWL"
    int useQuellorSmtp = 0;          // "USE_QUELLOR_SMTP": 0 maker's account, 1 own server
    std::string smtp;                // "SMTP"
    int portNum = 1;                 // "PORTNUM": 0 = 25, 1 = 587 with AUTH
    int enableSsl = 0;               // "ENABLESSL"
    std::string userName;            // "USERNAME"
    std::string password;            // "PASSWORD"
    std::string from;                // "FROM"
    std::string subject = "orvana";  // "SUBJECT"
    int sendTestMail1 = 1;           // "SEND_TESTMAIL1"
    int sendTestMail2 = 1;           // "SEND_TESTMAIL2"
    int autoShutdown = 1;            // "AUTOSHUTDOWN"
    int batteryLimit = 10;           // "BATTERYLIMIT"
    int checkTK = 1;                 // "CHECK_TK"
    int hourTK = 0;                  // "HOUR_TK"
    TimeT timeTK = 0;                // today + "TIME_H_TK":"TIME_M_TK":"TIME_S_TK"
    int checkRB = 0;                 // "CHECK_RB"
    int weekRB = 0;                  // "WEEK_RB"
    TimeT timeRB = 0;                // today + "TIME_H_RB":"TIME_M_RB":"TIME_S_RB"
    int hourKA = 0;                  // "HOUR_KA"
    std::string toKA;                // "TO_KA"
    AttachMatrix attach = defaultAttachMatrix();
    int conv3gp = 0;         // "CONV_3GP"
    std::string ffmpegPath;  // "FFMPEG_PATH"
    std::string ffmpegOption = "-strict experimental -y -vcodec mpeg4 -acodec aac -f 3gp -ar 16000";
    int attachGip = 0;                    // "ATTACH_GIP"
    std::string dataDir;                  // "DATA_DIR"
    int dataKeepPeriod = 6;               // "DATA_KEEP_PERIOD"
    std::vector<CUserAddress> addresses;  // "USER_ADDRESS" + "UserAddress%d"

    // The "USE_*" flag of a main-window box.
    int& useFlag(MonitorSwitch box) {
        switch (box) {
            case MonitorSwitch::Sound:
                return useVolume;
            case MonitorSwitch::Camera:
                return useCamera;
            case MonitorSwitch::PowerDown:
                return usePowerDown;
            case MonitorSwitch::Temperature:
                return useTemperature;
            case MonitorSwitch::Geiger:
                return useGeiger;
            case MonitorSwitch::Owl:
                break;
        }
        return useOwl;
    }
    int useFlag(MonitorSwitch box) const { return const_cast<AppSettings*>(this)->useFlag(box); }

    // Nothing has been set up yet: no server, no recipient, no sender.
    bool unconfigured() const { return smtp.empty() && addresses.empty() && from.empty(); }
    // The own-server fields needed to send are all filled in.
    bool ownServerComplete() const {
        return !smtp.empty() && !from.empty() && !userName.empty() && !password.empty();
    }
    // "メール連絡..." may be used: mail on, a recipient, and a usable account.
    bool broadcastAllowed() const {
        return working == 1 && !addresses.empty() && (useQuellorSmtp == 0 || ownServerComplete());
    }
};

// Reads every "Setting" key and the recipients in the documented order. Empty
// "DATA_DIR" becomes desktopDir + "/orvana記録" and is written back at once;
// the folder is then created with its missing parents. Reference times get
// the local date of `now`. Invalid recipients are skipped. Never fails:
// missing keys give their defaults, and a value outside its meaning (not a
// number, out of range, too long) gives its default too and is listed in
// *resetKeys ("Setting/KEY", when not null). The recipient count is bounded
// by the "UserAddress%d" sections that exist; a count that is not a number
// or larger than that takes every existing section. UI thread.
AppSettings LoadSettings(SettingsStore& store, TimeT now, const std::string& desktopDir,
                         std::vector<std::string>* resetKeys = nullptr);

// Writes every "Setting" key except "REBOOT", then "USER_ADDRESS" and the
// recipient sections densely. Reference times keep hour, minute and second.
void SaveSetting(SettingsStore& store, const AppSettings& s);

// The default "TO_KA" (the maker's watchdog address, a build setting).
std::string defaultKeepAliveAddress();

// Window rectangle in screen coordinates; -10000 each means "never stored".
struct Placement {
    int left = -10000, top = -10000, right = -10000, bottom = -10000;
};
Placement LoadPlacement(const SettingsStore& store, const std::string& section);
void SavePlacement(SettingsStore& store, const std::string& section, const Placement& p);

// The last-alive time of section "Time", 0 when "CloseYear" is 0 (never
// written) or the fields make no valid time.
TimeT LoadLastAlive(const SettingsStore& store);
void SaveLastAlive(SettingsStore& store, TimeT t);

}  // namespace orvana
