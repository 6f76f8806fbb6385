#include "core/settings_summary.h"

#include "core/tables.h"
#include "orvana/build_config.h"

namespace orvana {

std::vector<ReportLine> SettingsSummary(const AppSettings& s, TimeT keepAliveRef) {
    std::vector<ReportLine> out;
    auto Report = [&out](std::string text, int stampMode) {
        out.push_back({std::move(text), stampMode});
    };
    Report("*--------------------------------------------*", 0);
    Report("　    異常検知　→　メール通知システム", 0);
    Report(std::string("　    orvana  Ver ") + build::kVersion, 0);
    Report("*--------------------------------------------*", 0);
    if (s.unconfigured()) {
        for (const char* line : {
                 "利用方法：",
                 "　本システムは下記の場合にメールを自動送信します",
                 "　１）PCのマイクまたは音声入力に設定を超える音量の音が入力された時",
                 "　２）停電が発生し、PC（ノートPC）の電源がACからDCに切り替わった時",
                 "　３）Webカメラ画像内で動体を発見した時",
                 "　４）USB温湿度センサーにより、特定の温度・湿度範囲を超えた時",
                 "　５）USBガイガーカウンタにより、特定の放射線カウント値範囲を超えた時",
                 "　６）OWL電力モニターにより、特定の電力値範囲を超えた時",
                 "",
                 "　また、下記の機能があります",
                 "　・定期的に現在の状況をメールで送信",
                 "　・安定長期運用のために、定期的にPC自身を再起動",
                 "　・停電が継続し、電池残量が少なくなるとシャットダウン（メール送信）",
                 "　・KeepAliveメール監視サービスにより、システムのダウンを通知",
                 "",
                 "　停電通知のためには、本システムはノートPC上で動作させてください",
                 "　また、独立したモバイルネットワークとフリーメールアドレスの利用してください",
                 "",
             })
            Report(line, 0);
        return out;
    }
    Report("", 0);
    Report("設定情報:", 2);
    if (s.useQuellorSmtp == 1) {
        std::string server =
            "　・SMTPサーバ： " + s.smtp + (s.portNum == 1 ? " (port=587)" : " (port=25)");
        if (s.enableSsl == 1)
            server += "(SSL/TLS)";
        Report(server, 0);
        Report("　・アカウント: " + s.userName + "(" + s.from + ")", 0);
    }
    for (const CUserAddress& a : s.addresses)
        Report("　・宛先１：" + a.GetString(), 0);

    // The interval table's texts, except that its first row reads "毎日" here.
    auto everyText = [](int index) {
        return (index >= 1 && index <= 11) ? std::string(kIntervalTable[index].text) + "に"
                                           : std::string("毎日");
    };
    if (s.checkTK == 1)
        Report(
            "　・定期通知 ： " + formatLocal(s.timeTK, "%H:%M ") + everyText(s.hourTK) + "実施する",
            0);
    else
        Report("　・定期通知 ： 実施しない", 0);

    if (s.checkRB == 1) {
        // Any day set but the last ("毎日") reads "<days>に".
        const std::string day = (s.weekRB >= 0 && s.weekRB <= 16)
                                    ? std::string(kDaySetTable[s.weekRB].text) + "に"
                                    : std::string("毎日");
        Report("　・定期マシン再起動 ： " + formatLocal(s.timeRB, "%H:%M ") + "毎週　" + day +
                   "実施する",
               0);
    } else {
        Report("　・定期マシン再起動 ： 実施しない", 0);
    }

    if (s.autoShutdown == 1)
        Report("　・停電時の自動シャットダウン ： 電池残量が" + std::to_string(s.batteryLimit) +
                   "%以下になったとき実施",
               0);
    else
        Report("　・停電時の自動シャットダウン ： 実施しない", 0);

    if (s.hourKA == 0) {
        Report("　・KeepAliveメール監視サービス ： 利用しない", 0);
    } else {
        // HOUR_KA is one row further down the same interval table.
        const std::string every = everyText(s.hourKA >= 2 && s.hourKA <= 12 ? s.hourKA - 1 : 0);
        Report("　・KeepAliveメール監視サービス ： " +
                   formatLocal(keepAliveRef, "利用する　%H:%M より") + every + "KeepAlive通知する",
               0);
        Report("　　(To:" + s.toKA + ")", 0);
    }
    Report(" ", 0);
    return out;
}

std::vector<std::string> ConsoleOverview(const AppSettings& s, const std::array<bool, 6>& canRun,
                                         const std::array<bool, 6>& running,
                                         const std::string& makerHost) {
    std::vector<std::string> lines;
    for (std::size_t k = 0; k < 6; ++k) {
        const auto box = static_cast<MonitorSwitch>(k);
        std::string state;
        if (!canRun[k])
            state = box == MonitorSwitch::PowerDown ? "電池なし" : "装置なし";
        else if (box == MonitorSwitch::PowerDown)
            state = s.usePowerDown == 1 ? "監視中" : "オフ";
        else
            state = running[k] ? "監視中" : "オフ";
        lines.push_back(std::string(kMonitorSwitches[k].label) + "：" + state);
    }
    if (s.working != 1) {
        lines.push_back("メール：送信しない");
    } else {
        const std::string server = s.useQuellorSmtp == 1 ? s.smtp : makerHost;
        lines.push_back("メール：送信する（宛先 " + std::to_string(s.addresses.size()) + " 件、" +
                        server + "）");
    }
    return lines;
}

}  // namespace orvana
