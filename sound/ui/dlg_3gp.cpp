#include "sound/ui/dlg_3gp.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

namespace orvana::sound {
namespace {

std::string openFileDialog(QWidget* parent, const FileQuery& q) {
    QFileDialog dlg(parent, QString::fromStdString(q.title), QString(),
                    QString::fromStdString(q.filter));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setDefaultSuffix(QString::fromStdString(q.defaultSuffix));
    if (!q.initial.empty())
        dlg.selectFile(QString::fromStdString(q.initial));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().first().toStdString();
}

#ifdef _WIN32
constexpr const char* kExeFilter = "実行ファイル (*.exe);;すべてのファイル (*.*)";
#else
// Programs have no extension here; all files first, so the converter shows.
constexpr const char* kExeFilter = "すべてのファイル (*);;実行ファイル (*.exe)";
#endif
constexpr const char* kWavFilter = "WAVEファイル (*.wav *.wave);;すべてのファイル (*)";

}  // namespace

CDlg3gp::CDlg3gp(Prompt& prompt, ProcessRunner& runner, QWidget* parent)
    : QDialog(parent), prompt_(prompt), runner_(runner) {
    setWindowTitle(QStringLiteral("WAV->3GP変換"));
    setModal(true);
    chooseFile = [this](const FileQuery& q) { return openFileDialog(this, q); };

    auto* grid = new QGridLayout(this);
    int r = 0;
    for (const char* line :
         {"3G携帯電話で再生可能な3gp形式へWAVファイルを変換します。",
          "・FFmpegのバイナリ配布版(ffmpeg.exe)を入手し、下記設定を行ってください。",
          "・FFmpegバイナリ版は、インターネットで、「ffmpeg.exe "
          "ダウンロード」で検索すれば見つけることができます。",
          "・運用の形態に応じて、FFmpegのライセンスをご確認してご利用ください。"}) {
        auto* l = new QLabel(QString::fromUtf8(line), this);
        l->setWordWrap(true);
        grid->addWidget(l, r++, 0, 1, 3);
    }
    path_ = new QLineEdit(this);
    path_->setObjectName("edit1005");
    option_ = new QLineEdit(this);
    option_->setObjectName("edit1006");
    auto* browse = new QPushButton(QStringLiteral("参照..."), this);
    browse->setObjectName("button1009");
    grid->addWidget(new QLabel(QStringLiteral("ffmpeg.exeの場所："), this), r, 0);
    grid->addWidget(path_, r, 1);
    grid->addWidget(browse, r++, 2);
    grid->addWidget(new QLabel(QStringLiteral("ffmpegのoption："), this), r, 0);
    grid->addWidget(option_, r++, 1, 1, 2);
    auto* test = new QPushButton(QStringLiteral("*.wav → *.3gp 変換テストの実行..."), this);
    test->setObjectName("button1012");
    grid->addWidget(test, r++, 0, 1, 3);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    grid->addWidget(buttons, r, 0, 1, 3);

    connect(browse, &QPushButton::clicked, this, &CDlg3gp::OnBnClickedButton1);
    connect(test, &QPushButton::clicked, this, &CDlg3gp::OnBnClickedButton6);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        UpdateData();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDlg3gp::showEvent(QShowEvent* e) {
    UpdateControls();
    QDialog::showEvent(e);
}

void CDlg3gp::UpdateControls() {
    path_->setText(QString::fromStdString(m_ffmpegPath));
    option_->setText(QString::fromStdString(m_ffmpegOption));
}

void CDlg3gp::UpdateData() {
    m_ffmpegPath = path_->text().toStdString();
    m_ffmpegOption = option_->text().toStdString();
}

// Both buttons work on the boxes; the members change only on OK, so Cancel
// always leaves the caller's values as they were.
void CDlg3gp::OnBnClickedButton1() {
    const std::string chosen = chooseFile({"", path_->text().toStdString(), kExeFilter, "exe"});
    if (chosen.empty())
        return;
    path_->setText(QString::fromStdString(chosen));
}

void CDlg3gp::OnBnClickedButton6() {
    const std::string converter = path_->text().toStdString();
    const std::string options = option_->text().toStdString();
    const std::string chosen =
        chooseFile({"テスト変換するWAVファイルを指定してください", "", kWavFilter, "wav"});
    if (chosen.empty())
        return;
    const std::filesystem::path file(chosen);
    std::string folder = file.parent_path().string();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    const std::string input = file.filename().string();
    const std::string output = file.stem().string() + ".3gp";
    const ConvertResult r =
        Convert3gp(runner_, converter, options, folder, input, output, converterTimeout);
    switch (r.kind) {
        case ConvertResult::kNotStarted:
            prompt_.message("外部プログラムを起動中にエラーが発生しました\n\n" + r.commandText);
            break;
        case ConvertResult::kConverted:
            prompt_.message(".WAV->.3GPへの変換に成功しました。" + folder + output +
                            "が作成されました");
            break;
        case ConvertResult::kNoOutput:
            prompt_.message("3GPへの変換に失敗しました。実行オプションを変更してください。\n\n" +
                            r.commandText);
            break;
    }
}

std::unique_ptr<QDialog> Dlg3gpEditor::create(QWidget* parent, const std::string& path,
                                              const std::string& option) {
    auto dlg = std::make_unique<CDlg3gp>(prompt_, runner_, parent);
    dlg->m_ffmpegPath = path;
    dlg->m_ffmpegOption = option;
    dlg->UpdateControls();
    return dlg;
}

void Dlg3gpEditor::take(const QDialog& dialog, std::string& path, std::string& option) {
    const auto& dlg = static_cast<const CDlg3gp&>(dialog);
    path = dlg.m_ffmpegPath;
    option = dlg.m_ffmpegOption;
}

}  // namespace orvana::sound
