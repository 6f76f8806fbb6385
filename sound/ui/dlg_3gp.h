// "WAV->3GP変換": where the converter is, its options, and a test
// conversion of a WAV file of the user's choice. Modal; opened by the
// global settings dialog, which fills the two members and takes them back
// on Accepted.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <chrono>
#include <functional>
#include <string>

#include "core/prompt.h"
#include "sound/converter.h"
#include "sound/process_runner.h"
#include "widgets/converter_settings.h"

namespace orvana::sound {

// One file-open question.
struct FileQuery {
    std::string title;          // empty: the platform's default title
    std::string initial;        // initial file name
    std::string filter;         // Qt name filters, ";;"-separated
    std::string defaultSuffix;  // without the dot
};

class CDlg3gp : public QDialog {
    Q_OBJECT

  public:
    // prompt: the result messages (modal). runner: runs the converter.
    // Both must outlive the dialog. UI thread.
    CDlg3gp(Prompt& prompt, ProcessRunner& runner, QWidget* parent = nullptr);

    // Copies the members into the edit boxes (done when shown).
    void UpdateControls();
    // Copies the edit boxes into the members.
    void UpdateData();
    // "参照...": picks the converter; the choice replaces the path in its box.
    void OnBnClickedButton1();
    // "*.wav → *.3gp 変換テストの実行...": converts a chosen WAV file with
    // the values in the boxes (even before OK) and tells the result.
    void OnBnClickedButton6();

    std::string m_ffmpegPath;
    std::string m_ffmpegOption;

    // The file-open dialog; tests replace it. Returns the chosen full path,
    // empty on Cancel.
    std::function<std::string(const FileQuery&)> chooseFile;
    std::chrono::milliseconds converterTimeout = kConverterTimeout;

    QLineEdit* pathEdit() const { return path_; }
    QLineEdit* optionEdit() const { return option_; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    Prompt& prompt_;
    ProcessRunner& runner_;
    QLineEdit* path_ = nullptr;
    QLineEdit* option_ = nullptr;
};

// The global settings dialog's way to this dialog. prompt and runner must
// outlive the editor and every dialog it makes. UI thread.
class Dlg3gpEditor final : public ConverterSettingsEditor {
  public:
    Dlg3gpEditor(Prompt& prompt, ProcessRunner& runner) : prompt_(prompt), runner_(runner) {}
    std::unique_ptr<QDialog> create(QWidget* parent, const std::string& path,
                                    const std::string& option) override;
    void take(const QDialog& dialog, std::string& path, std::string& option) override;

  private:
    Prompt& prompt_;
    ProcessRunner& runner_;
};

}  // namespace orvana::sound
