#include "mail/ui/dlg_setting.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "core/tables.h"
#include "mail/ui/dlg_smtp_setting.h"
#include "mail/ui/dlg_test_mail_send.h"
#include "mail/ui/dlg_user_address.h"
#include "mail/ui/folder_dialog.h"
#include "orvana/build_config.h"

namespace orvana {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

template <std::size_t N, class Row>
std::array<const char*, N> texts(const std::array<Row, N>& table) {
    std::array<const char*, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        out[i] = table[i].text;
    return out;
}
const auto kIntervals = texts(kIntervalTable);
const auto kDays = texts(kDaySetTable);
const char* const kKeepPeriods[12] = {"1時間",  "3時間",  "8時間",  "24時間",  "3日間", "8日間",
                                      "15日間", "30日間", "90日間", "180日間", "1年間", "2年間"};
const char* const kRowLabels[8] = {"音量異常時：",   "動体検出時：", "温湿度異常時：",
                                   "放射線異常時：", "電力異常時：", "停電検出時：",
                                   "定期通知時：",   "一斉通知時："};
const char* const kColLabels[6] = {"音量データ", "カメラ画像", "温湿度",
                                   "放射線",     "電力",       "デスクトップ"};

constexpr const char* kKeepAliveNeedsKanri =
    "少なくとも１名の管理情報の通知先アドレスを登録してください。";
constexpr const char* kGipNotice =
    "注意：\n本機能は、家庭用ブロードバンドルータやモバイルルータを利用した小規模ネットワークで、WA"
    "N側IPアドレスが時々変わるものが対象です。\nインターネット経由でこのＰＣへリモートデスクトップ"
    "接"
    "続するグローバルIPアドレスを調査し、通知メールに記載する機能です。\n\n社内の中・大規模ネットワ"
    "ー"
    "ク（イントラネット）等での使用は推奨しません。";
constexpr const char* kShorterKeepQuestion =
    "注意：\nデータ保存期限を短く設定すると、各CSVファイルに格納されているそれ以前の期間の温度湿度"
    "等の計測データも削除されます。必要であれば、事前に計測データのバックアップを行ってください。\n"
    "\n"
    "このまま保存時間を短くしてよろしいですか？";
constexpr const char* kFolderTitle = "動体画像保存用のフォルダを選択してください：";

QComboBox* combo(QWidget* parent, const char* const* texts, int n) {
    auto* c = new QComboBox(parent);
    for (int i = 0; i < n; ++i)
        c->addItem(QString::fromUtf8(texts[i]));
    return c;
}

// A stored index outside the list shows nothing and keeps its value.
void setIndex(QComboBox* c, int index) {
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}
int indexOr(const QComboBox* c, int keep) {
    return c->currentIndex() >= 0 ? c->currentIndex() : keep;
}

QTime timeOf(TimeT t) {
    const LocalTime l = toLocal(t);
    return QTime(l.hour, l.minute, std::min(l.second, 59));
}
// The reference keeps its date; only the time of day is edited.
TimeT withTime(TimeT ref, const QTime& t) {
    const LocalTime l = toLocal(ref);
    const TimeT r = fromLocal(l.year, l.month, l.day, t.hour(), t.minute(), t.second());
    return r == -1 ? ref : r;
}

}  // namespace

CDlgSetting::CDlgSetting(const AppSettings& current, const MonitorAvailability& running,
                         SettingDialogServices services, QWidget* parent)
    : QDialog(parent), m_settings(current), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("全体設定"));
    setModal(true);
    chooseFolder = [this](const std::string& title,
                          const std::string& initial) -> std::optional<std::string> {
        CFolderDialog picker(title, initial, this);
        if (picker.DoModal() != CFolderDialog::IDOK)
            return std::nullopt;
        return picker.GetFolderPath();
    };
    buildControls();
    UpdateControls();
    greyAttachments(running);
    fillAddressList();
    enableDependents();
    previousKeepPeriod_ = keepPeriod_->currentIndex();
    OnCbnSelchangeKeepAlive();
}

void CDlgSetting::buildControls() {
    auto* top = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    top->addLayout(columns);

    // Sender account, subject, test mail.
    auto* account = new QGridLayout;
    maker_ = new QRadioButton(QString::fromUtf8(build::kMakerAccount), this);
    own_ = new QRadioButton(QStringLiteral("独自アドレス："), this);
    auto* radios = new QButtonGroup(this);
    radios->addButton(maker_, 0);
    radios->addButton(own_, 1);
    smtpButton_ = new QPushButton(QStringLiteral("設定..."), this);
    account->addWidget(maker_, 0, 0, 1, 2);
    account->addWidget(own_, 1, 0);
    account->addWidget(smtpButton_, 1, 1);
    account->addWidget(new QLabel(QStringLiteral("メールの件名(半角文字のみ)："), this), 2, 0);
    subject_ = new QLineEdit(this);
    account->addWidget(subject_, 2, 1);
    testMail_ = new QPushButton(QStringLiteral("メール送信テスト..."), this);
    account->addWidget(testMail_, 3, 1);
    left->addLayout(account);

    // Recipients.
    auto* recipients = new QGroupBox(QStringLiteral("通知先のメールアドレス設定"), this);
    auto* rl = new QHBoxLayout(recipients);
    list_ = new QListWidget(recipients);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    rl->addWidget(list_, 1);
    auto* rb = new QVBoxLayout;
    add_ = new QPushButton(QStringLiteral("追加..."), recipients);
    edit_ = new QPushButton(QStringLiteral("編集..."), recipients);
    delete_ = new QPushButton(QStringLiteral("削除"), recipients);
    for (QPushButton* b : {add_, edit_, delete_})
        rb->addWidget(b);
    rb->addStretch();
    rl->addLayout(rb);
    left->addWidget(recipients);

    // Attachment matrix.
    auto* matrix = new QGroupBox(QStringLiteral("メール通知時の添付データ指定"), this);
    auto* mg = new QGridLayout(matrix);
    for (int c = 0; c < 6; ++c) {
        colLabels_[c] = new QLabel(QString::fromUtf8(kColLabels[c]), matrix);
        mg->addWidget(colLabels_[c], 0, c + 1, Qt::AlignHCenter);
    }
    for (int r = 0; r < 8; ++r) {
        rowLabels_[r] = new QLabel(QString::fromUtf8(kRowLabels[r]), matrix);
        mg->addWidget(rowLabels_[r], r + 1, 0);
        for (int c = 0; c < 6; ++c) {
            attach_[r][c] = new QCheckBox(matrix);
            attach_[r][c]->setObjectName(QStringLiteral("%1_ATTACH_%2")
                                             .arg(QString::fromUtf8(kAttachRowNames[r]),
                                                  QString::fromUtf8(kAttachColNames[c])));
            mg->addWidget(attach_[r][c], r + 1, c + 1, Qt::AlignHCenter);
        }
    }
    left->addWidget(matrix);
    gip_ = new QCheckBox(
        QStringLiteral("ルータのグローバルIPアドレスを取得・通知（モバイル/小規模LAN限定）"), this);
    left->addWidget(gip_);

    // 3GP conversion.
    auto* conv = new QHBoxLayout;
    conv3gp_ = new QCheckBox(QStringLiteral("音声データのWAV→3GP変換を行う"), this);
    button3gp_ = new QPushButton(QStringLiteral("3GP変換設定..."), this);
    conv->addWidget(conv3gp_);
    conv->addWidget(button3gp_);
    right->addLayout(conv);

    // Periodic notice.
    auto* tk = new QGroupBox(QStringLiteral("定期通知"), this);
    auto* tkl = new QGridLayout(tk);
    checkTK_ = new QCheckBox(QStringLiteral("通知する"), tk);
    hourTK_ = combo(tk, kIntervals.data(), static_cast<int>(kIntervals.size()));
    timeTK_ = new QTimeEdit(tk);
    timeTK_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    tkl->addWidget(checkTK_, 0, 0);
    tkl->addWidget(hourTK_, 0, 1);
    tkl->addWidget(new QLabel(QStringLiteral("時刻："), tk), 1, 0);
    tkl->addWidget(timeTK_, 1, 1);
    right->addWidget(tk);

    // Periodic reboot.
    auto* rbg = new QGroupBox(QStringLiteral("定期マシン再起動"), this);
    auto* rbl = new QGridLayout(rbg);
    checkRB_ = new QCheckBox(QStringLiteral("実施する"), rbg);
    weekRB_ = combo(rbg, kDays.data(), static_cast<int>(kDays.size()));
    timeRB_ = new QTimeEdit(rbg);
    timeRB_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    rbl->addWidget(checkRB_, 0, 0);
    rbl->addWidget(weekRB_, 0, 1);
    rbl->addWidget(new QLabel(QStringLiteral("時刻："), rbg), 1, 0);
    rbl->addWidget(timeRB_, 1, 1);
    right->addWidget(rbg);

    // Shutdown on battery.
    auto* sd = new QGroupBox(QStringLiteral("停電継続時の自動シャットダウン"), this);
    auto* sdl = new QHBoxLayout(sd);
    autoShutdown_ = new QCheckBox(QStringLiteral("実施する"), sd);
    battery_ = new QSpinBox(sd);
    battery_->setRange(0, 100);
    sdl->addWidget(autoShutdown_);
    sdl->addWidget(new QLabel(QStringLiteral("電池残量："), sd));
    sdl->addWidget(battery_);
    sdl->addWidget(new QLabel(QStringLiteral("[%]以下になった時"), sd));
    right->addWidget(sd);

    // Data folder and keep period.
    auto* data =
        new QGroupBox(QStringLiteral("添付画像、音ファイル、動体検出画像等の一時保存先"), this);
    auto* dl = new QGridLayout(data);
    dataDir_ = new QLineEdit(data);
    browse_ = new QPushButton(QStringLiteral("参照..."), data);
    keepPeriod_ = combo(data, kKeepPeriods, 12);
    dl->addWidget(dataDir_, 0, 0, 1, 2);
    dl->addWidget(browse_, 0, 2);
    dl->addWidget(new QLabel(QStringLiteral("保存期間："), data), 1, 0);
    dl->addWidget(keepPeriod_, 1, 1);
    right->addWidget(data);

    // KeepAlive.
    keepAliveGroup_ =
        new QGroupBox(QStringLiteral("KeepAliveメール監視（Watch-Dogサービス：") +
                          QString::fromUtf8(build::kWatchdogAddress) + QStringLiteral("利用可)"),
                      this);
    auto* kal = new QGridLayout(keepAliveGroup_);
    hourKA_ = new QComboBox(keepAliveGroup_);
    hourKA_->addItem(QStringLiteral("利用しない"));
    for (const char* t : kIntervals)
        hourKA_->addItem(QString::fromUtf8(t));
    toKA_ = new QLineEdit(keepAliveGroup_);
    kal->addWidget(hourKA_, 0, 0, 1, 2);
    kal->addWidget(new QLabel(QStringLiteral("送信先："), keepAliveGroup_), 1, 0);
    kal->addWidget(toKA_, 1, 1);
    right->addWidget(keepAliveGroup_);
    right->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    top->addWidget(buttons);
    // Only OK is the default button; Enter in an edit must not start a test.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
    ok->setDefault(true);

    connect(maker_, &QRadioButton::clicked, this, &CDlgSetting::OnBnClickedMakerAccount);
    connect(own_, &QRadioButton::clicked, this, &CDlgSetting::OnBnClickedOwnAccount);
    connect(smtpButton_, &QPushButton::clicked, this, &CDlgSetting::OnBnClickedSmtpSetting);
    connect(testMail_, &QPushButton::clicked, this, &CDlgSetting::OnBnClickedTestMail);
    connect(list_, &QListWidget::itemSelectionChanged, this, &CDlgSetting::OnLbnSelchangeAddress);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { OnBnClickedEdit(); });
    connect(add_, &QPushButton::clicked, this, &CDlgSetting::OnBnClickedAdd);
    connect(edit_, &QPushButton::clicked, this, &CDlgSetting::OnBnClickedEdit);
    connect(delete_, &QPushButton::clicked, this, &CDlgSetting::OnBnClickedDelete);
    connect(gip_, &QCheckBox::clicked, this, &CDlgSetting::OnBnClickedGip);
    connect(button3gp_, &QPushButton::clicked, this, &CDlgSetting::OnBnClicked3gp);
    button3gp_->setEnabled(services_.converter != nullptr);
    connect(checkTK_, &QCheckBox::clicked, this, &CDlgSetting::OnBnClickedCheckTK);
    connect(checkRB_, &QCheckBox::clicked, this, &CDlgSetting::OnBnClickedCheckRB);
    connect(autoShutdown_, &QCheckBox::clicked, this, &CDlgSetting::OnBnClickedAutoShutdown);
    connect(browse_, &QPushButton::clicked, this, &CDlgSetting::OnBnClickedBrowse);
    // activated: the user's choices only, not the dialog's own corrections.
    connect(keepPeriod_, &QComboBox::activated, this, &CDlgSetting::OnCbnSelchangeKeepPeriod);
    connect(hourKA_, &QComboBox::activated, this, &CDlgSetting::OnCbnSelchangeKeepAlive);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgSetting::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDlgSetting::UpdateControls() {
    const AppSettings& s = m_settings;
    (s.useQuellorSmtp == 1 ? own_ : maker_)->setChecked(true);
    subject_->setText(q(s.subject));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            attach_[r][c]->setChecked(s.attach[r][c] != 0);
    gip_->setChecked(s.attachGip != 0);
    conv3gp_->setChecked(s.conv3gp != 0);
    checkTK_->setChecked(s.checkTK != 0);
    setIndex(hourTK_, s.hourTK);
    timeTK_->setTime(timeOf(s.timeTK));
    checkRB_->setChecked(s.checkRB != 0);
    setIndex(weekRB_, s.weekRB);
    timeRB_->setTime(timeOf(s.timeRB));
    autoShutdown_->setChecked(s.autoShutdown != 0);
    battery_->setValue(s.batteryLimit);
    dataDir_->setText(q(s.dataDir));
    setIndex(keepPeriod_, s.dataKeepPeriod);
    setIndex(hourKA_, s.hourKA);
    toKA_->setText(q(s.toKA));
}

void CDlgSetting::UpdateData() {
    AppSettings& s = m_settings;
    s.useQuellorSmtp = own_->isChecked() ? 1 : 0;
    s.subject = subject_->text().toStdString();
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            s.attach[r][c] = attach_[r][c]->isChecked() ? 1 : 0;
    s.attachGip = gip_->isChecked() ? 1 : 0;
    s.conv3gp = conv3gp_->isChecked() ? 1 : 0;
    s.checkTK = checkTK_->isChecked() ? 1 : 0;
    s.hourTK = indexOr(hourTK_, s.hourTK);
    s.timeTK = withTime(s.timeTK, timeTK_->time());
    s.checkRB = checkRB_->isChecked() ? 1 : 0;
    s.weekRB = indexOr(weekRB_, s.weekRB);
    s.timeRB = withTime(s.timeRB, timeRB_->time());
    s.autoShutdown = autoShutdown_->isChecked() ? 1 : 0;
    s.batteryLimit = battery_->value();
    s.dataDir = dataDir_->text().toStdString();
    s.dataKeepPeriod = indexOr(keepPeriod_, s.dataKeepPeriod);
    s.hourKA = indexOr(hourKA_, s.hourKA);
    s.toKA = toKA_->text().trimmed().toStdString();
}

void CDlgSetting::greyAttachments(const MonitorAvailability& running) {
    // Rows and columns of monitors that do not run; the ticks stay.
    const bool runs[5] = {running.sound, running.camera, running.temperature, running.geiger,
                          running.owl};
    for (int m = 0; m < 5; ++m) {
        if (runs[m])
            continue;
        rowLabels_[m]->setEnabled(false);
        colLabels_[m]->setEnabled(false);
        for (int k = 0; k < 6; ++k)
            attach_[m][k]->setEnabled(false);
        for (int k = 0; k < 8; ++k)
            attach_[k][m]->setEnabled(false);
    }
    if (!running.battery) {
        rowLabels_[ROW_POW]->setEnabled(false);
        for (int k = 0; k < 6; ++k)
            attach_[ROW_POW][k]->setEnabled(false);
    }
}

void CDlgSetting::enableDependents() {
    smtpButton_->setEnabled(own_->isChecked());
    battery_->setEnabled(autoShutdown_->isChecked());
    hourTK_->setEnabled(checkTK_->isChecked());
    timeTK_->setEnabled(checkTK_->isChecked());
    weekRB_->setEnabled(checkRB_->isChecked());
    timeRB_->setEnabled(checkRB_->isChecked());
    // Without a converter there is nothing to convert with.
    conv3gp_->setEnabled(!m_settings.ffmpegPath.empty());
}

void CDlgSetting::fillAddressList() {
    list_->clear();
    for (const CUserAddress& a : m_settings.addresses)
        list_->addItem(q(a.GetString()));
    edit_->setEnabled(false);
    delete_->setEnabled(false);
}

void CDlgSetting::OnBnClickedMakerAccount() {
    maker_->setChecked(true);
    smtpButton_->setEnabled(false);
}

void CDlgSetting::OnBnClickedOwnAccount() {
    own_->setChecked(true);
    smtpButton_->setEnabled(true);
}

void CDlgSetting::OnBnClickedSmtpSetting() {
    AppSettings& s = m_settings;
    DlgSmtpSetting dlg({s.smtp, s.portNum, s.enableSsl, s.userName, s.password, s.from}, this);
    if (runDialog(dlg) != QDialog::Accepted)
        return;
    s.smtp = dlg.m_values.smtp;
    s.portNum = dlg.m_values.portNum;
    s.enableSsl = dlg.m_values.enableSsl;
    s.userName = dlg.m_values.userName;
    s.password = dlg.m_values.password;
    s.from = dlg.m_values.from;
}

void CDlgSetting::OnBnClickedTestMail() {
    UpdateData();
    SmtpParams params;
    std::string from;
    if (!testMailParams(m_settings, services_.account, params, from)) {
        services_.prompt.message(kTestMailIncompleteText);
        return;
    }
    CDlgTestMailSend ask(services_.prompt, lastTestAddress_, this);
    if (runDialog(ask) != QDialog::Accepted)
        return;
    lastTestAddress_ = ask.m_strAddress;

    const std::string subject = "テストメール送信：" + m_settings.subject;
    std::string body = "This is Test Mail from orvana.";
    if (m_settings.attachGip == 1)
        body += "(" + (services_.ipAddress ? services_.ipAddress() : std::string()) + ")";
    // The window waits for the server, at most the test mail's time-outs.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool sent = sendTestMail(services_.smtp, params, from, lastTestAddress_, subject, body,
                                   services_.clock.now());
    QApplication::restoreOverrideCursor();
    services_.prompt.message(sent ? kTestMailSentText : kTestMailFailedText);
}

void CDlgSetting::OnLbnSelchangeAddress() {
    const bool selected = list_->currentRow() >= 0 && !list_->selectedItems().isEmpty();
    edit_->setEnabled(selected);
    delete_->setEnabled(selected);
}

void CDlgSetting::OnBnClickedAdd() {
    CDlgUserAddress dlg(CUserAddress{}, this);
    if (runDialog(dlg) != QDialog::Accepted || dlg.m_strAddress.empty())
        return;
    CUserAddress a;
    a.m_strAddress = dlg.m_strAddress;
    a.m_bIjyou = dlg.m_bIjyou;
    a.m_bTeiki = dlg.m_bTeiki;
    a.m_bKanri = dlg.m_bKanri;
    a.m_bTest = 1;  // a new recipient gets the next broadcast
    m_settings.addresses.push_back(a);
    fillAddressList();
}

void CDlgSetting::OnBnClickedEdit() {
    const int row = list_->currentRow();
    auto& list = m_settings.addresses;
    if (row < 0 || row >= static_cast<int>(list.size()))
        return;
    CDlgUserAddress dlg(list[static_cast<std::size_t>(row)], this);
    if (runDialog(dlg) != QDialog::Accepted)
        return;
    if (dlg.m_strAddress.empty()) {
        list.erase(list.begin() + row);
    } else {
        CUserAddress& a = list[static_cast<std::size_t>(row)];
        a.m_strAddress = dlg.m_strAddress;
        a.m_bIjyou = dlg.m_bIjyou;
        a.m_bTeiki = dlg.m_bTeiki;
        a.m_bKanri = dlg.m_bKanri;
    }
    fillAddressList();
}

void CDlgSetting::OnBnClickedDelete() {
    const int row = list_->currentRow();
    auto& list = m_settings.addresses;
    if (row < 0 || row >= static_cast<int>(list.size()))
        return;
    list.erase(list.begin() + row);
    fillAddressList();
}

void CDlgSetting::OnBnClickedGip() {
    if (gip_->isChecked())
        services_.prompt.message(kGipNotice);
}

void CDlgSetting::OnBnClicked3gp() {
    if (!services_.converter)
        return;
    const std::unique_ptr<QDialog> dlg =
        services_.converter->create(this, m_settings.ffmpegPath, m_settings.ffmpegOption);
    if (runDialog(*dlg) != QDialog::Accepted)
        return;
    services_.converter->take(*dlg, m_settings.ffmpegPath, m_settings.ffmpegOption);
    const bool haveConverter = !m_settings.ffmpegPath.empty();
    conv3gp_->setChecked(haveConverter);
    conv3gp_->setEnabled(haveConverter);
}

void CDlgSetting::OnBnClickedCheckTK() {
    hourTK_->setEnabled(checkTK_->isChecked());
    timeTK_->setEnabled(checkTK_->isChecked());
}

void CDlgSetting::OnBnClickedCheckRB() {
    weekRB_->setEnabled(checkRB_->isChecked());
    timeRB_->setEnabled(checkRB_->isChecked());
}

void CDlgSetting::OnBnClickedAutoShutdown() {
    battery_->setEnabled(autoShutdown_->isChecked());
}

void CDlgSetting::OnBnClickedBrowse() {
    const auto chosen = chooseFolder(kFolderTitle, dataDir_->text().toStdString());
    if (chosen)
        dataDir_->setText(q(*chosen));
}

void CDlgSetting::OnCbnSelchangeKeepPeriod() {
    const int chosen = keepPeriod_->currentIndex();
    if (chosen >= 0 && chosen < previousKeepPeriod_ &&
        !services_.prompt.askOkCancel(kShorterKeepQuestion)) {
        keepPeriod_->setCurrentIndex(previousKeepPeriod_);
        return;
    }
    previousKeepPeriod_ = chosen;
}

void CDlgSetting::OnCbnSelchangeKeepAlive() {
    if (hourKA_->currentIndex() <= 0) {
        toKA_->setEnabled(false);
        return;
    }
    const auto& list = m_settings.addresses;
    if (std::any_of(list.begin(), list.end(), [](const CUserAddress& a) { return a.m_bKanri; })) {
        toKA_->setEnabled(true);
        return;
    }
    services_.prompt.message(kKeepAliveNeedsKanri);
    hourKA_->setCurrentIndex(0);
    toKA_->setEnabled(false);
}

void CDlgSetting::OnOK() {
    UpdateData();
    accept();
}

}  // namespace orvana
