#include "supervision/supervisor.h"

namespace orvana {

Supervisor::Supervisor(SupervisorHost& host, Clock& clock, PowerSource& power,
                       ShutdownControl& shutdown)
    : host_(host), clock_(clock), power_(power), shutdown_(shutdown) {
    vars_.keepAliveRef = clock_.now() + 60;
}

void Supervisor::resetKeepAliveReference() {
    vars_.keepAliveRef = clock_.now() + 60;
}

int Supervisor::CheckTimeTK(TimeT ref, int hourTK) {
    return orvana::CheckTimeTK(recTK_, clock_.now(), ref, hourTK);
}
int Supervisor::CheckTimeKA(TimeT ref, int hourKA) {
    return orvana::CheckTimeKA(recKA_, clock_.now(), ref, hourKA);
}
int Supervisor::CheckTimeRB(TimeT ref, int weekRB) {
    return orvana::CheckTimeRB(recRB_, clock_.now(), ref, weekRB);
}

void Supervisor::writeRebootMarker(int value) {
    SettingsStore& st = host_.store();
    st.writeInt(kSection, "REBOOT", value);
    // The machine may go down next; the marker must be on disk first.
    st.sync();
}

void Supervisor::OnTimer() {
    host_.UpdateData();
    ++vars_.tickCount;
    const PowerStatus ps = power_.read();
    lastPower_ = ps;
    powerWatch(ps);
    vars_.prevMains = ps.acLineStatus == 1 ? 1 : 0;
    if (vars_.tickCount % 5 == 0)
        schedules();
    if (vars_.rebootPending == 1)
        shutdown_.ShutdownWindows(1, 1);
}

void Supervisor::powerWatch(const PowerStatus& ps) {
    const AppSettings& s = host_.settings();
    if (s.usePowerDown == 1 && vars_.prevMains == 1 && ps.acLineStatus != 1) {
        host_.Report(kSeparator, 0);
        host_.Report(">>>停電発生<<<", 2);
        host_.RegistMail(ALERT_POW, "停電発生", "停電が発生しました。", 2);
    } else if (s.usePowerDown == 1 && vars_.prevMains == 0 && ps.acLineStatus == 1) {
        host_.Report("<<<停電から復帰>>>", 2);
        host_.Report(kSeparator, 0);
        host_.RegistMail(ALERT_POW, "電力回復", "停電から復帰しました。", 2);
    } else if (s.autoShutdown == 1 && vars_.batteryShutdownDone == 0 && vars_.prevMains == 0 &&
               ps.batteryLifePercent != 255 && ps.batteryLifePercent < s.batteryLimit) {
        const std::string msg =
            "監視PCの電池残量が規定値以下になったため、PCをシャットダウンします。";
        host_.Report(msg, 1);
        host_.RegistMail(ALERT_KANRI, "緊急シャットダウン", msg, 2);
        host_.WaitAllMailSend();
        writeRebootMarker(2);
        vars_.batteryShutdownDone = 1;
        shutdown_.ShutdownWindows(0, 1);
    }
}

void Supervisor::schedules() {
    const AppSettings& s = host_.settings();
    if (s.checkTK == 1 && CheckTimeTK(s.timeTK, s.hourTK)) {
        const std::string status = host_.StatusText();
        host_.Report("定期通知実施", 2);
        host_.RegistMail(ALERT_TK, "定期通知", "定期通知です。\r\n" + status, 2);
    }
    if (s.checkRB == 1 && CheckTimeRB(s.timeRB, s.weekRB)) {
        // As at the session's end: the watchdog service hears of the reboot
        // only from a user who switched KeepAlive on.
        if (s.hourKA > 0) {
            host_.Report("KeepAlive通知", 2);
            host_.RegistMail(ALERT_KA, "", "", 2);
        }
        host_.Report("マシンの定期再起動を行います。", 2);
        host_.RegistMail(ALERT_KANRI, "定期再起動",
                         "マシンの定期再起動を行います。\r\n今からマシンをリブートします。", 2);
        host_.WaitAllMailSend();
        writeRebootMarker(1);
        vars_.rebootPending = 1;
    }
    if (s.hourKA > 0 && CheckTimeKA(vars_.keepAliveRef, s.hourKA)) {
        host_.Report("KeepAlive通知", 2);
        host_.RegistMail(ALERT_KA, "", "", 2);
    }
}

bool Supervisor::OnQueryEndSession() {
    if (host_.store().getInt(kSection, "REBOOT", 0) == 1)
        return true;
    writeRebootMarker(2);
    host_.Report(">シャットダウン要請", 2);
    // The watchdog service is a third party: it only hears from a program
    // whose user switched KeepAlive on.
    const bool keepAlive = host_.settings().hourKA > 0;
    if (keepAlive)
        host_.Report("KeepAlive通知", 2);
    host_.setReportingEnabled(false);
    if (keepAlive)
        host_.RegistMail(ALERT_KA, "", "", 2);
    host_.RegistMail(ALERT_KANRI, "終了要求",
                     "OSまたは他のソフトによりシャットダウン／再起動されます。", 2);
    host_.WaitAllMailSend();
    writeRebootMarker(2);
    return true;
}

void Supervisor::OnEndSession(bool /*ending*/) {
    host_.SaveSettingBeforeClose();
}

void Supervisor::OnSuspend() {
    host_.RegistMail(ALERT_KANRI, "OS状態変動", "OSがスリープ／サスペンド状態になりました", 2);
}

void Supervisor::OnResume() {
    host_.RegistMail(ALERT_KANRI, "OS状態復帰", "OSがスリープ／サスペンド状態から復帰しました", 2);
}

}  // namespace orvana
