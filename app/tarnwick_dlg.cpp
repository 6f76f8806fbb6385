#include "app/tarnwick_dlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "supervision/cleanup_thread.h"
#include "core/headless_prompt.h"
#include "supervision/supervisor.h"
#include "widgets/qt_prompt.h"
#include "supervision/session_watch.h"
#include "widgets/snapshot.h"
#include "widgets/window_placement.h"
#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "mail/mail_sender.h"
#include "mail/ui/dlg_setting.h"
#include "mail/ui/dlg_test_mail.h"
#include "mail/wan_address.h"
#include "orvana/build_config.h"
#include "sound/gst_wave_input.h"
#include "sound/ui/dlg_3gp.h"
#include "sound/ui/volume_dlg.h"

namespace orvana {
namespace {

// Lines from the sender thread and the UI thread must not interleave on
// standard output either.
std::mutex& stdoutMutex() {
    static std::mutex m;
    return m;
}

const char* const kMonitorLabels[6] = {"音量", "動体", "停電", "温湿度", "放射線", "電力"};

QString q(const char* s) {
    return QString::fromUtf8(s);
}

// The main window as the supervision timer and the session guard see it.
class DlgSupervisorHost final : public SupervisorHost {
  public:
    explicit DlgSupervisorHost(CTarnwickDlg& dlg) : dlg_(dlg) {}
    void Report(const std::string& text, int stampMode, int extra) override {
        dlg_.Report(text, stampMode, extra);
    }
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int timeFormat) override {
        return dlg_.RegistMail(kind, title, text, timeFormat);
    }
    void WaitAllMailSend() override { dlg_.WaitAllMailSend(); }
    void UpdateData() override { dlg_.UpdateData(); }
    const AppSettings& settings() const override { return dlg_.settings(); }
    SettingsStore& store() override { return dlg_.store(); }
    void setReportingEnabled(bool on) override { dlg_.eventLog().setEnabled(on); }
    void SaveSettingBeforeClose() override { dlg_.SaveSettingBeforeClose(); }
    StatusSources statusSources() override { return dlg_.statusSources(); }

  private:
    CTarnwickDlg& dlg_;
};

}  // namespace

CTarnwickDlg::CTarnwickDlg(Services services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)), log_(*services_.clock) {
    if (services_.prompt)
        prompt_ = std::move(services_.prompt);
    else if (services_.headless)
        prompt_ = std::make_unique<HeadlessPrompt>(log_);
    else
        prompt_ = std::make_unique<QtPrompt>(this);
    if (!services_.waveInputs) {
        sound::GstWaveInputOptions audio;
        audio.source = services_.overrides.audioSource;
        services_.waveInputs = sound::makeGstWaveInputFactory(audio);
    }

    setWindowTitle(q("安全監視システム(orvana)"));
    // Resizable and minimisable, but never maximised.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    setMinimumSize(kMinWidth, kMinHeight);
    setMaximumSize(kMaxWidth, kMaxHeight);
    resize(400, 600);

    working_ = new QCheckBox(q("メール送信を行う"), this);
    broadcast_ = new QPushButton(q("メール連絡..."), this);
    group_ = new QGroupBox(q("監視項目"), this);
    for (int k = 0; k < 6; ++k) {
        // Children of the dialog, not of the group, so the documented
        // dialog coordinates apply to them directly.
        monitorBoxes_[k] = new QCheckBox(q(kMonitorLabels[k]), this);
        connect(monitorBoxes_[k], &QCheckBox::clicked, this, [this, k] { onMonitorBoxClicked(k); });
    }
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setSortingEnabled(false);
    settingsButton_ = new QPushButton(q("設定..."), this);
    manual_ = new QPushButton(q("マニュアル表示"), this);
    exit_ = new QPushButton(q("終了"), this);
    for (QPushButton* b : {broadcast_, settingsButton_, manual_, exit_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    connect(working_, &QCheckBox::clicked, this, [this] { OnBnClickedWorking(); });
    connect(manual_, &QPushButton::clicked, this, [this] { OnBnClickedManual(); });
    connect(exit_, &QPushButton::clicked, this, [this] { OnBnClickedOk(); });
    connect(settingsButton_, &QPushButton::clicked, this, [this] { OnBnClickedSetting(); });
    connect(broadcast_, &QPushButton::clicked, this, [this] { OnBnClickedTestmail(); });
    // Same thread: appended at once; another thread: queued to this one.
    connect(this, &CTarnwickDlg::lineReported, this, &CTarnwickDlg::appendListLine,
            Qt::AutoConnection);

    log_.addSink(
        [this](const std::string& line) { emit lineReported(QString::fromStdString(line)); });
    if (services_.echoToStdout) {
        log_.addSink([](const std::string& line) {
            std::lock_guard lock(stdoutMutex());
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        });
    }
    // Mail: the queue exists from construction, so the restart notices of
    // start-up are really queued; the sender starts with the other workers.
    mailQueue_ = std::make_unique<MailQueue>();
    if (!services_.smtp)
        services_.smtp = makeCurlSmtpClient();
    if (!services_.http)
        services_.http = makeCurlHttpClient();
    if (!services_.network)
        services_.network = makeSysfsNetworkState(services_.overrides.sysfsRoot());
    MailSender::Options mailOptions;
    mailOptions.maker = MakerAccount::fromBuild(services_.overrides.makerSmtp);
    mailOptions.caFile = services_.overrides.smtpCafile;
    mailSender_ = std::make_unique<MailSender>(
        *mailQueue_, *services_.clock, std::move(services_.smtp), std::move(services_.network),
        [this](const std::string& text, int stampMode) { log_.Report(text, stampMode); },
        mailOptions);
    wan_ = std::make_unique<WanAddress>(std::move(services_.http),
                                        wanPageUrl(services_.overrides.gipUrl));
    controlsReady_ = true;
    layoutControls(width(), height());
}

CTarnwickDlg::~CTarnwickDlg() {
    if (timer1_)
        timer1_->stop();
    // Both workers are told first, so their last slices run side by side.
    if (cleanUp_)
        cleanUp_->requestStop();
    if (mailSender_)
        mailSender_->stopAndJoin();  // ends after its current attempt at most
    if (cleanUp_)
        cleanUp_->stop();  // seen within 100 ms, then joined
    // Worker threads report through the log's sinks, which point at this
    // window: they are stopped before anything below goes away.
    SaveSettingBeforeClose();
    // Saves its own settings and joins its capture thread.
    m_pVolumeDlg.reset();
    log_.clearSinks();
}

void CTarnwickDlg::OnInitDialog() {
    Clock& clk = *services_.clock;
    m_startTime = clk.now();
    m_keepAliveRef = m_startTime + 60;

    // Placement is read before the other settings.
    const Placement stored = LoadPlacement(*services_.store, "Placement");
    placeWindow(*this, stored);
    raise();

    m_settings = LoadSettings(*services_.store, clk.now(), services_.desktopDir);
    log_.setDataDir(m_settings.dataDir);

    list_->clear();
    ReportSetting();

    const bool configured = !m_settings.unconfigured();
    if (!configured)
        broadcast_->setEnabled(false);

    working_->setChecked(m_settings.working == 1);
    const int flags[6] = {m_settings.useVolume,      m_settings.useCamera, m_settings.usePowerDown,
                          m_settings.useTemperature, m_settings.useGeiger, m_settings.useOwl};
    for (int k = 0; k < 6; ++k)
        monitorBoxes_[k]->setChecked(flags[k] == 1);
    m_prevMains = -1;

    const TimeT lastAlive = LoadLastAlive(*services_.store);
    const std::string lastAliveText =
        lastAlive != 0 ? formatLocal(lastAlive, "\r\n(前回の監視終了時刻：\r\n%Y/%m/%d %H:%M)")
                       : std::string();

    if (configured) {
        const int marker = services_.store->getInt(kSection, "REBOOT", 0);
        if (marker == 1) {
            services_.store->writeInt(kSection, "REBOOT", 0);
            services_.store->sync();
            Report(">定期再起動", 2);
            RegistMail(ALERT_KANRI, "定期再起動完了",
                       "定期再起動に成功しました。\r\n監視をスタートしました。" + lastAliveText, 2);
        } else if (marker == 2) {
            services_.store->writeInt(kSection, "REBOOT", 0);
            services_.store->sync();
            Report(">再起動", 2);
            RegistMail(ALERT_KANRI, "再起動完了", "\r\n監視をスタートしました。" + lastAliveText,
                       2);
        }
    }

    // The supervision parts exist from here on; without a system battery
    // there is no power failure to watch.
    startSupervision();
    if (!supervisor_->lastPower().batteryPresent) {
        m_batteryPresent = 0;
        monitorBoxes_[2]->setEnabled(false);
    }

    // Probes first, in this order; a monitor that cannot run has its box
    // disabled, while the box keeps its stored state.
    if (!StartVolumeWindow(0))
        monitorBoxes_[0]->setEnabled(false);
    if (!StartCameraWindow(0))
        monitorBoxes_[1]->setEnabled(false);
    if (!StartTemperatureWindow(0))
        monitorBoxes_[3]->setEnabled(false);
    if (!StartGeigerWindow(0))
        monitorBoxes_[4]->setEnabled(false);
    if (!StartOwlWindow(0))
        monitorBoxes_[5]->setEnabled(false);

    if (m_settings.useVolume == 1)
        StartVolumeWindow(1);
    if (m_settings.useCamera == 1)
        StartCameraWindow(1);
    if (m_settings.useTemperature == 1)
        StartTemperatureWindow(1);
    if (m_settings.useGeiger == 1)
        StartGeigerWindow(1);
    if (m_settings.useOwl == 1)
        StartOwlWindow(1);

    layoutControls(width(), height());

    m_tickCount = 0;
    timer1_->start(200);

    // Housekeeping, and the system's delay lock for shutdown and sleep.
    cleanUp_->setInputs(m_settings.dataDir, m_settings.dataKeepPeriod);
    cleanUp_->start();
    sessionGuard_->start();
    // The mail sender, with the settings just loaded.
    mailSender_->updateSettings(m_settings);
    mailSender_->start();

    updateBroadcastButton();
    working_->setFocus();
}

void CTarnwickDlg::Report(const std::string& text, int stampMode, int extra) {
    log_.Report(text, stampMode, extra);
}

int CTarnwickDlg::RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                             int timeFormat) {
    return orvana::RegistMail(*this, *mailQueue_, kind, title, text, timeFormat);
}

void CTarnwickDlg::appendListLine(const QString& line) {
    auto* item = new QListWidgetItem(line, list_);  // owned by the list
    list_->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void CTarnwickDlg::ReportSetting() {
    const AppSettings& s = m_settings;
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
        return;
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

    static const char* const kEvery[12] = {"毎日",      "12時間毎に", "8時間毎に", "6時間毎に",
                                           "4時間毎に", "3時間毎に",  "2時間毎に", "1時間毎に",
                                           "30分毎に",  "15分毎に",   "10分毎に",  "5分毎に"};
    auto everyText = [](int index) {
        return (index >= 1 && index <= 11) ? std::string(kEvery[index]) : std::string("毎日");
    };
    if (s.checkTK == 1)
        Report(
            "　・定期通知 ： " + formatLocal(s.timeTK, "%H:%M ") + everyText(s.hourTK) + "実施する",
            0);
    else
        Report("　・定期通知 ： 実施しない", 0);

    static const char* const kDays[17] = {
        "日曜日に", "月曜日に", "火曜日に", "水曜日に", "木曜日に", "金曜日に",
        "土曜日に", "月～金に", "月～土に", "月水金に", "火木土に", "月水に",
        "月木に",   "月金に",   "火木に",   "火金に",   "水金に"};
    if (s.checkRB == 1) {
        const std::string day =
            (s.weekRB >= 0 && s.weekRB <= 16) ? kDays[s.weekRB] : std::string("毎日");
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
                   formatLocal(m_keepAliveRef, "利用する　%H:%M より") + every +
                   "KeepAlive通知する",
               0);
        Report("　　(To:" + s.toKA + ")", 0);
    }
    Report(" ", 0);
}

void CTarnwickDlg::UpdateData() {
    m_settings.working = working_->isChecked() ? 1 : 0;
    m_settings.useVolume = monitorBoxes_[0]->isChecked() ? 1 : 0;
    m_settings.useCamera = monitorBoxes_[1]->isChecked() ? 1 : 0;
    m_settings.usePowerDown = monitorBoxes_[2]->isChecked() ? 1 : 0;
    m_settings.useTemperature = monitorBoxes_[3]->isChecked() ? 1 : 0;
    m_settings.useGeiger = monitorBoxes_[4]->isChecked() ? 1 : 0;
    m_settings.useOwl = monitorBoxes_[5]->isChecked() ? 1 : 0;
}

void CTarnwickDlg::SaveSetting() {
    orvana::SaveSetting(*services_.store, m_settings);
}

void CTarnwickDlg::SaveSettingBeforeClose() {
    const Placement p = placementOf(*this);
    SaveSetting();
    SavePlacement(*services_.store, "Placement", p);
    // Also the end of the session: the monitors save their own sections.
    if (m_pVolumeDlg)
        m_pVolumeDlg->OnEndSession();
}

std::string CTarnwickDlg::SaveDesktopBitmap() {
    return orvana::SaveDesktopBitmap(*this, *services_.store, services_.clock->now());
}

int CTarnwickDlg::StartVolumeWindow(int start) {
    return sound::StartVolumeWindow(start, *this, *services_.waveInputs, m_pVolumeDlg, this);
}

int CTarnwickDlg::StartCameraWindow(int /*start*/) {
    // The camera monitor is not part of this build: it cannot run.
    return 0;
}

int CTarnwickDlg::StartTemperatureWindow(int /*start*/) {
    return 0;
}
int CTarnwickDlg::StartGeigerWindow(int /*start*/) {
    return 0;
}
int CTarnwickDlg::StartOwlWindow(int /*start*/) {
    return 0;
}

void CTarnwickDlg::layoutControls(int cx, int cy) {
    if (!controlsReady_)
        return;
    const int w3 = (cx - 32) / 3;
    const int w6 = (cx - 16 - 48) / 6;
    const int listH = cy - 164;
    working_->setGeometry(8, 8, 2 * w3 + 8, 32);
    broadcast_->setGeometry(2 * (w3 + 8) + 8, 8, w3, 32);
    group_->setGeometry(8, 48, cx - 16, 60);
    for (int k = 0; k < 6; ++k)
        monitorBoxes_[k]->setGeometry(16 + k * (w6 + 8), 67, w6, 32);
    list_->setGeometry(8, 116, cx - 16, listH);
    const int y = cy - 40;
    settingsButton_->setGeometry(8, y, w3, 32);
    manual_->setGeometry(w3 + 16, y, w3, 32);
    exit_->setGeometry(2 * (w3 + 8) + 8, y, w3, 32);
    update();
}

void CTarnwickDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    layoutControls(width(), height());
}

void CTarnwickDlg::updateBroadcastButton() {
    broadcast_->setEnabled(m_settings.broadcastAllowed());
}

void CTarnwickDlg::OnBnClickedWorking() {
    UpdateData();
    SaveSetting();
    updateBroadcastButton();
}

void CTarnwickDlg::onMonitorBoxClicked(int k) {
    UpdateData();
    switch (k) {
        case 0:
            if (m_pVolumeDlg)
                m_pVolumeDlg.reset();  // running: ended
            else
                StartVolumeWindow(1);
            break;
        case 1:
            StartCameraWindow(1);
            break;
        case 3:
            StartTemperatureWindow(1);
            break;
        case 4:
            StartGeigerWindow(1);
            break;
        case 5:
            StartOwlWindow(1);
            break;
        default:
            break;  // 停電 is watched by the supervision timer
    }
}

void CTarnwickDlg::OnBnClickedManual() {
    bool ok = false;
    if (services_.openDocument)
        ok = services_.openDocument(services_.manualPath);
    else if (!services_.manualPath.empty())
        ok = QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(services_.manualPath)));
    if (!ok)
        prompt_->message("PDFファイルのビューワーが設定されていません。\n\n");
}

void CTarnwickDlg::showAbout() {
    QMessageBox box(QMessageBox::Information, q("バージョン情報 Tarnwick"),
                    q("警報音モニタシステム (orvana)\n\nVer 1.31"), QMessageBox::Ok, this);
    box.exec();
}

void CTarnwickDlg::contextMenuEvent(QContextMenuEvent* e) {
    // Qt windows have no system menu to extend; the about entry lives here.
    QMenu menu(this);
    QAction* about = menu.addAction(q("バージョン情報 Tarnwick(&A)..."));
    if (menu.exec(e->globalPos()) == about)
        showAbout();
}

void CTarnwickDlg::OnBnClickedOk() {
    log_.setEnabled(false);
    done(QDialog::Accepted);
}

void CTarnwickDlg::OnSystemTerminate() {
    if (sessionGuard_)
        sessionGuard_->onSessionEnding();
    OnBnClickedOk();
}

void CTarnwickDlg::startSupervision() {
    Clock& clk = *services_.clock;
    if (!services_.power)
        services_.power = makeSysfsPowerSource(services_.overrides.sysfsRoot());
    if (!services_.shutdown)
        services_.shutdown = std::make_unique<CommandShutdownControl>(
            clk, makeDetachedLauncher(),
            ShutdownCommands{services_.overrides.rebootCommand,
                             services_.overrides.poweroffCommand});
    if (!services_.inhibitor)
        services_.inhibitor = std::make_unique<LogindInhibitor>(systemBusIfPresent());
    supervisorHost_ = std::make_unique<DlgSupervisorHost>(*this);
    supervisor_ =
        std::make_unique<Supervisor>(*supervisorHost_, clk, *services_.power, *services_.shutdown,
                                     SupervisionVars{m_tickCount, m_rebootPending, m_prevMains,
                                                     m_batteryShutdownDone, m_keepAliveRef});
    sessionGuard_ =
        std::make_unique<SessionGuard>(*supervisor_, *supervisorHost_, *services_.inhibitor);
    sessionWatch_ = std::make_unique<SessionWatch>(*sessionGuard_, systemBusIfPresent());
    fileTimes_ = makeStatxFileTimes();
    cleanUp_ = std::make_unique<CleanUpThread>(clk, *services_.store, *fileTimes_);
    timer1_ = new QTimer(this);
    timer1_->setSingleShot(true);
    connect(timer1_, &QTimer::timeout, this, [this] { OnTimer(); });
    supervisor_->readPower();
}

void CTarnwickDlg::OnTimer() {
    // Slow work (a mail wait) delays the next tick instead of queueing ticks.
    timer1_->stop();
    supervisor_->OnTimer();
    timer1_->start(200);
}

void CTarnwickDlg::OnSupervisionSettingsChanged() {
    if (supervisor_)
        supervisor_->resetKeepAliveReference();
    else
        m_keepAliveRef = services_.clock->now() + 60;
    if (cleanUp_)
        cleanUp_->setInputs(m_settings.dataDir, m_settings.dataKeepPeriod);
}

void CTarnwickDlg::WaitAllMailSend() {
    mailSender_->WaitAllMailSend();
}

AttachmentSource* CTarnwickDlg::monitorWindow(MailMonitor which) {
    // Each monitor returns its window here once its window exists.
    if (which == MailMonitor::Sound)
        return m_pVolumeDlg.get();
    return nullptr;
}

AttachmentSource* CTarnwickDlg::cameraWindow(int /*index*/) {
    return nullptr;
}

std::string CTarnwickDlg::GetIpAddress() {
    return wan_->GetIpAddress();
}

std::string CTarnwickDlg::GetTo(ALERT_MODE kind) const {
    return orvana::GetTo(m_settings.addresses, kind);
}

void CTarnwickDlg::OnMailSettingsChanged() {
    mailSender_->updateSettings(m_settings);
    // A running sender goes on with the new settings; one that has ended is
    // started again when the account can be used.
    if (m_settings.useQuellorSmtp == 0 || m_settings.ownServerComplete())
        mailSender_->start();
}

void CTarnwickDlg::OnBnClickedSetting() {
    UpdateData();
    MonitorAvailability running;
    running.sound = monitorWindow(MailMonitor::Sound) != nullptr;
    running.camera = cameraWindow(0) != nullptr;
    running.temperature = monitorWindow(MailMonitor::Temperature) != nullptr;
    running.geiger = monitorWindow(MailMonitor::Geiger) != nullptr;
    running.owl = monitorWindow(MailMonitor::Owl) != nullptr;
    running.battery = m_batteryPresent == 1;
    // The test mail has a client of its own: the sender's belongs to its thread.
    const std::unique_ptr<SmtpClient> testSmtp = makeCurlSmtpClient();
    const std::unique_ptr<sound::ProcessRunner> converter = sound::makeProcessRunner();
    TestMailAccount account;
    account.maker = MakerAccount::fromBuild(services_.overrides.makerSmtp);
    account.caFile = services_.overrides.smtpCafile;
    sound::Dlg3gpEditor converterEditor(*prompt_, *converter);
    CDlgSetting dlg(m_settings, running,
                    {*prompt_, *testSmtp, *services_.clock, &converterEditor, account,
                     [this] { return GetIpAddress(); }},
                    this);
    if (runDialog(dlg) != QDialog::Accepted)
        return;

    // 1. Nothing works on the old settings while they are replaced.
    if (timer1_)
        timer1_->stop();
    mailSender_->requestStop();
    services_.clock->sleepFor(std::chrono::milliseconds(120));
    // 2. KeepAlive starts over at now + 60 s; the log follows a new folder.
    m_settings = dlg.settings();
    OnSupervisionSettingsChanged();
    if (!m_settings.dataDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(m_settings.dataDir, ec);
    }
    log_.setDataDir(m_settings.dataDir);
    // 3.-4.
    SaveSetting();
    list_->clear();
    ReportSetting();
    updateBroadcastButton();
    // 5. The sender takes the new account; one that has ended starts again.
    services_.clock->sleepFor(std::chrono::milliseconds(120));
    OnMailSettingsChanged();
    // 6. A sender that ended on the stop request just before it was lifted
    // would leave every later mail in the queue.
    mailSender_->clearStop();
    if ((m_settings.useQuellorSmtp == 0 || m_settings.ownServerComplete()) &&
        !mailSender_->running())
        mailSender_->start();
    if (timer1_)
        timer1_->start(200);
}

void CTarnwickDlg::OnBnClickedTestmail() {
    CDlgTestMail dlg(
        m_settings.addresses, *prompt_, "テスト",
        "\r\nこれは警報通知システム(Orvana)からの一斉通知メールです。\r\n" + mailFooter(), this);
    if (runDialog(dlg) != QDialog::Accepted)
        return;
    Report("----一斉メール通知----", 2);
    RegistMail(ALERT_RQ, dlg.m_strSubject, dlg.m_strBody, 2);
}

StatusSources CTarnwickDlg::statusSources() {
    // Each monitor adds its source here once its window exists.
    StatusSources sources;
    sources.sound = m_pVolumeDlg.get();
    return sources;
}

void CTarnwickDlg::closeEvent(QCloseEvent* e) {
    log_.setEnabled(false);
    e->accept();
    done(QDialog::Rejected);
}

void CTarnwickDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OnBnClickedOk();
            return;
        case Qt::Key_Escape:
            done(QDialog::Rejected);
            return;  // reporting stays on
        default:
            QDialog::keyPressEvent(e);
    }
}

}  // namespace orvana
