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
#include <stdexcept>

#include "app/monitor_kinds.h"
#include "app/supervisor_host.h"
#include "core/checked_settings.h"
#include "core/settings_summary.h"
#include "core/status_text.h"
#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "mail/mail_sender.h"
#include "mail/ui/dlg_setting.h"
#include "mail/ui/dlg_test_mail.h"
#include "mail/wan_address.h"
#include "supervision/cleanup_thread.h"
#include "supervision/session_watch.h"
#include "supervision/supervisor.h"
#include "widgets/snapshot.h"
#include "widgets/stall_meter.h"
#include "widgets/window_placement.h"

namespace orvana {
namespace {

// Lines from the sender thread and the UI thread must not interleave on
// standard output either.
std::mutex& stdoutMutex() {
    static std::mutex m;
    return m;
}

QString q(const char* s) {
    return QString::fromUtf8(s);
}

// Every facility the window cannot work without, checked before any is used.
Services checked(Services s) {
    requireFacilities(s);
    return s;
}

}  // namespace

CTarnwickDlg::CTarnwickDlg(Services services, QWidget* parent)
    : QDialog(parent), services_(checked(std::move(services))), log_(*services_.clock) {
    prompt_ = services_.prompt ? std::move(services_.prompt) : services_.makePrompt(log_, this);
    stallMeter_ = new StallMeter(this);

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
        monitorBoxes_[k] = new QCheckBox(q(kMonitorSwitches[k].label), this);
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
    if (!services_.outboxDir.empty())
        mailQueue_->attachOutbox(std::make_unique<Outbox>(
            services_.outboxDir, [this](const std::string& line) { Report(line, 2); }));
    MailSender::Options mailOptions;
    mailOptions.maker = MakerAccount::fromBuild(services_.overrides.makerSmtp);
    mailOptions.caFile = services_.overrides.smtpCafile;
    mailSender_ = std::make_unique<MailSender>(
        *mailQueue_, *services_.clock, std::move(services_.smtp), std::move(services_.network),
        [this](const std::string& text, int stampMode) { log_.Report(text, stampMode); },
        mailOptions);
    wan_ = std::make_unique<WanAddress>(std::move(services_.http),
                                        wanPageUrl(services_.overrides.gipUrl));

    MonitorContext context{*this, services_.backends, this, hooks_};
    const MonitorRegistration& registration =
        services_.registerMonitors ? services_.registerMonitors : registerMonitorKinds;
    registration(monitors_, context);
    // Recordings of mails marked for 3GP are converted by the sender on its
    // own thread; a failure is shown from this thread as a notice.
    mailSender_->setAttachmentConverter(
        hooks_.attachmentConverter, [this](const std::string& text) {
            QMetaObject::invokeMethod(
                this, [this, text] { prompt_->notify(text); }, Qt::QueuedConnection);
        });
    controlsReady_ = true;
    layoutControls(width(), height());
}

CTarnwickDlg::~CTarnwickDlg() {
    if (timer1_)
        timer1_->stop();
    if (!services_.overrides.stallLog.empty()) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(
            std::fopen(services_.overrides.stallLog.c_str(), "w"), &std::fclose);
        if (f)
            std::fprintf(f.get(), "longest UI stall: %lld ms\nstart-up: %lld ms\n",
                         static_cast<long long>(stallMeter_->longest().count()),
                         static_cast<long long>(startUpTime_.count()));
    }
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
    // Each monitor window saves its own section as it closes and joins its
    // threads.
    monitors_.clear();
    log_.clearSinks();
}

void CTarnwickDlg::OnInitDialog() {
    const auto began = std::chrono::steady_clock::now();
    // Placement is read before the other settings.
    const Placement stored = LoadPlacement(*services_.store, "Placement");
    placeWindow(*this, stored);
    raise();

    std::vector<std::string> resetKeys;
    m_settings =
        LoadSettings(*services_.store, services_.clock->now(), services_.desktopDir, &resetKeys);
    log_.setDataDir(m_settings.dataDir);
    log_.setFallbackDir(services_.fallbackLogDir);

    // The supervision parts exist from here on (KeepAlive is anchored at
    // now + 60 s, which the summary shows).
    startSupervision();
    list_->clear();
    ReportSetting();
    // What start-up found wrong with the stored settings, said once.
    for (const std::string& warning : services_.startupWarnings) {
        Report(warning, 2);
        prompt_->notify(warning);
    }
    if (const std::string line = ResetKeysLine(resetKeys); !line.empty())
        Report(line, 2);
    checkDataFolder();

    if (m_settings.unconfigured())
        broadcast_->setEnabled(false);
    working_->setChecked(m_settings.working == 1);
    for (int k = 0; k < 6; ++k)
        monitorBoxes_[k]->setChecked(m_settings.useFlag(static_cast<MonitorSwitch>(k)) == 1);
    // Mail that a previous run had not sent goes first, before the notice
    // of this start.
    mailQueue_->loadOutbox(m_settings.subject, services_.clock->now());
    restartNotices();

    // Without a system battery there is no power failure to watch.
    if (!supervisor_->lastPower().batteryPresent) {
        m_batteryPresent = 0;
        monitorBox(MonitorSwitch::PowerDown)->setEnabled(false);
    }

    // Probes first, in start order; a box whose monitor cannot run (or that
    // this build has no monitor for) is disabled, while it keeps its stored
    // state. Then the monitors that are switched on start, in the same order.
    for (int k = 0; k < 6; ++k)
        if (static_cast<MonitorSwitch>(k) != MonitorSwitch::PowerDown &&
            !monitors_.find(static_cast<MonitorSwitch>(k)))
            monitorBoxes_[k]->setEnabled(false);
    for (Monitor* m : monitors_.all())
        if (!m->probe())
            monitorBox(m->kind().box)->setEnabled(false);
    for (Monitor* m : monitors_.all())
        if (m_settings.useFlag(m->kind().box) == 1)
            m->start();

    layoutControls(width(), height());

    timer1_->start(200);
    startUpTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - began);
    stallMeter_->start();
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

void CTarnwickDlg::restartNotices() {
    // Only with mail configured; the marker stays for a later start otherwise.
    if (m_settings.unconfigured())
        return;
    const TimeT lastAlive = LoadLastAlive(*services_.store);
    const std::string lastAliveText =
        lastAlive != 0 ? formatLocal(lastAlive, "\r\n(前回の監視終了時刻：\r\n%Y/%m/%d %H:%M)")
                       : std::string();
    const int marker = services_.store->getInt(kSection, "REBOOT", 0);
    if (marker != 1 && marker != 2)
        return;
    services_.store->writeInt(kSection, "REBOOT", 0);
    services_.store->sync();
    if (marker == 1) {
        Report(">定期再起動", 2);
        RegistMail(ALERT_KANRI, "定期再起動完了",
                   "定期再起動に成功しました。\r\n監視をスタートしました。" + lastAliveText, 2);
    } else {
        Report(">再起動", 2);
        RegistMail(ALERT_KANRI, "再起動完了", "\r\n監視をスタートしました。" + lastAliveText, 2);
    }
}

void CTarnwickDlg::Report(const std::string& text, int stampMode, int extra) {
    log_.Report(text, stampMode, extra);
}

int CTarnwickDlg::RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                             int timeFormat) {
    return orvana::RegistMail(*this, *mailQueue_, kind, title, text, timeFormat);
}

void CTarnwickDlg::appendListLine(const QString& line) {
    // A line far longer than a screen says nothing more on screen but costs
    // the list its layout time; the log file keeps it whole.
    const QString shown =
        line.size() > kListLineMax ? line.left(kListLineMax) + QStringLiteral("…(以下省略)") : line;
    auto* item = new QListWidgetItem(shown, list_);  // owned by the list
    list_->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void CTarnwickDlg::ReportSetting() {
    const TimeT keepAliveRef =
        supervisor_ ? supervisor_->state().keepAliveRef : services_.clock->now() + 60;
    for (const ReportLine& line : SettingsSummary(m_settings, keepAliveRef))
        Report(line.text, line.stampMode);
}

std::vector<std::string> CTarnwickDlg::Overview() const {
    std::array<bool, 6> canRun{};
    std::array<bool, 6> running{};
    for (int k = 0; k < 6; ++k) {
        canRun[k] = monitorBoxes_[k]->isEnabled();
        const Monitor* m = monitors_.find(static_cast<MonitorSwitch>(k));
        running[k] = m && m->running();
    }
    return ConsoleOverview(m_settings, canRun, running,
                           MakerAccount::fromBuild(services_.overrides.makerSmtp).hostPort);
}

void CTarnwickDlg::UpdateData() {
    m_settings.working = working_->isChecked() ? 1 : 0;
    for (int k = 0; k < 6; ++k)
        m_settings.useFlag(static_cast<MonitorSwitch>(k)) = monitorBoxes_[k]->isChecked() ? 1 : 0;
}

void CTarnwickDlg::SaveSetting() {
    orvana::SaveSetting(*services_.store, m_settings);
}

void CTarnwickDlg::SaveSettingBeforeClose() {
    const Placement p = placementOf(*this);
    SaveSetting();
    SavePlacement(*services_.store, "Placement", p);
    for (Monitor* m : monitors_.all())
        if (m->running())
            m->SaveSettingBeforeClose();
}

void CTarnwickDlg::OnEndSession() {
    const Placement p = placementOf(*this);
    SaveSetting();
    SavePlacement(*services_.store, "Placement", p);
    for (Monitor* m : monitors_.all())
        if (m->running())
            m->OnEndSession();
}

std::string CTarnwickDlg::SaveDesktopBitmap() {
    return orvana::SaveDesktopBitmap(*this, *services_.store, services_.clock->now());
}

int CTarnwickDlg::StartMonitor(MonitorSwitch box, int start) {
    Monitor* m = monitors_.find(box);
    if (!m)
        return 0;
    return start ? m->start() : m->probe();
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
    // 停電 is watched by the supervision timer; the others end a running
    // monitor or start it.
    Monitor* m = monitors_.find(static_cast<MonitorSwitch>(k));
    if (!m)
        return;
    if (m->running())
        m->stop();
    else
        m->start();
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
    supervisorHost_ = makeWindowSupervisorHost(*this);
    supervisor_ =
        std::make_unique<Supervisor>(*supervisorHost_, clk, *services_.power, *services_.shutdown);
    sessionGuard_ =
        std::make_unique<SessionGuard>(*supervisor_, *supervisorHost_, *services_.inhibitor);
    sessionWatch_ = std::make_unique<SessionWatch>(
        *sessionGuard_, services_.systemBus ? services_.systemBus() : QDBusConnection(QString()));
    cleanUp_ = std::make_unique<CleanUpThread>(clk, *services_.store, *services_.fileTimes);
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
    if (cleanUp_)
        cleanUp_->setInputs(m_settings.dataDir, m_settings.dataKeepPeriod);
}

void CTarnwickDlg::WaitAllMailSend() {
    mailSender_->WaitAllMailSend();
    // A documented wait (before a shutdown or reboot), not a stall.
    stallMeter_->skipWait();
}

void CTarnwickDlg::WhenMailSent(std::function<void()> then) {
    // Polled on the UI thread like WaitAllMailSend's slices, but from the
    // event loop: the monitors and the power watch go on meanwhile.
    auto* poll = new QTimer(this);  // a child: goes with the window at the latest
    const std::int64_t deadline = services_.clock->nowMs() + 101 * 100;
    connect(poll, &QTimer::timeout, this, [this, poll, deadline, then = std::move(then)] {
        if (!mailQueue_->empty() && services_.clock->nowMs() < deadline)
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start(100);
}

void CTarnwickDlg::checkDataFolder() {
    const std::string& dir = m_settings.dataDir;
    if (dir == uncheckedFolder_)
        return;  // said once per folder
    if (canWriteFolder(dir)) {
        uncheckedFolder_.clear();
        return;
    }
    uncheckedFolder_ = dir;
    std::string text = "データフォルダ " + dir + " に書き込めません。";
    if (!services_.fallbackLogDir.empty())
        text += "記録ファイルは " + services_.fallbackLogDir + " に保存します。";
    text += "設定の「データ保存先」を書き込めるフォルダに変更してください。";
    Report(text, 2);
    prompt_->notify(text);
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
    running.sound = monitors_.runningFor(COL_VOL);
    running.camera = monitors_.runningFor(COL_CAM);
    running.temperature = monitors_.runningFor(COL_TEMP);
    running.geiger = monitors_.runningFor(COL_GEIGER);
    running.owl = monitors_.runningFor(COL_OWL);
    running.battery = m_batteryPresent == 1;
    // The test mail has a client of its own: the sender's belongs to its thread.
    const std::unique_ptr<SmtpClient> testSmtp = services_.newSmtpClient();
    TestMailAccount account;
    account.maker = MakerAccount::fromBuild(services_.overrides.makerSmtp);
    account.caFile = services_.overrides.smtpCafile;
    CDlgSetting dlg(m_settings, running,
                    {*prompt_, *testSmtp, *services_.clock, hooks_.converterEditor, account,
                     [this] { return GetIpAddress(); }},
                    this);
    if (runDialog(dlg) != QDialog::Accepted)
        return;

    // 1. Nothing works on the old settings while they are replaced. The
    // sender reads its own copy of them, which is swapped in one step below,
    // so it goes on without being stopped and the UI thread never waits.
    if (timer1_)
        timer1_->stop();
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
    checkDataFolder();
    updateBroadcastButton();
    // 5. The sender takes the new account; one that has ended starts again.
    OnMailSettingsChanged();
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
