// The mail sender: one worker thread that empties the mail queue over SMTP,
// waits for the network after start-up, retries failed mails, and folds the
// queue into a ten-minute digest when too many mails go out.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/app_settings.h"
#include "core/attachment_converter.h"
#include "core/clock.h"
#include "mail/mail_queue.h"
#include "mail/network_state.h"
#include "mail/smtp_client.h"

namespace orvana {

// The settings the sender reads per mail, copied from the main window's.
struct SenderSettings {
    int useQuellorSmtp = 0;
    std::string smtp;
    int portNum = 1;
    int enableSsl = 0;
    std::string userName, password, from;
    std::string subject = "orvana";  // digest label
    std::string ffmpegPath;          // the converter of marked mails' recordings
    std::string ffmpegOption;
    static SenderSettings of(const AppSettings& s);
};

// The maker's account: host[:port] and the address used as login and From.
struct MakerAccount {
    std::string hostPort;
    std::string account;
    std::string password = "Rt5Hob82";
    // ORVANA_MAKER_SMTP (host[:port]) when set, else the build values.
    static MakerAccount fromBuild(const std::string& makerSmtpOverride);
};

// "host", "host:port", "[v6]" or "[v6]:port"; port 0 when none is given.
void splitHostPort(const std::string& hostPort, std::string& host, int& port);

// The connection for one mail from the account choice: the maker's account
// (port 587 or the override's, AUTH, no TLS) or the own server ("SMTP" with
// an optional :port, else 587 with AUTH for "PORTNUM" 1 or 25 without;
// STARTTLS when "ENABLESSL" is 1). Port 465 always means TLS from the first
// byte. `from` receives the sender address.
SmtpParams resolveSmtpParams(const SenderSettings& s, const MakerAccount& maker,
                             const std::string& caFile, std::string& from);

class MailSender {
  public:
    // Receives every report of the sender; called on the sender thread, must
    // not wait for the UI thread.
    using ReportFn = std::function<void(const std::string& text, int stampMode)>;
    // Receives each text the user is to be told in a notice box (a
    // recording that could not be converted). Called on the sender thread;
    // must hand the text over to the UI thread and not wait for it.
    using NotifyFn = std::function<void(const std::string& text)>;

    struct Options {
        MakerAccount maker;
        std::string caFile;  // ORVANA_SMTP_CAFILE
        std::chrono::milliseconds connectTimeout{30000};
        std::chrono::milliseconds totalTimeout{120000};
    };

    // queue and clock must outlive the sender. Nothing starts before start().
    MailSender(MailQueue& queue, Clock& clock, std::unique_ptr<SmtpClient> smtp,
               std::unique_ptr<NetworkState> network, ReportFn report, Options options);
    // Ends the thread after its current attempt (queued mail stays queued,
    // and in the queue's outbox when it has one) and joins it.
    ~MailSender();
    MailSender(const MailSender&) = delete;
    MailSender& operator=(const MailSender&) = delete;

    // Replaces the settings used from the next mail on. Any thread.
    void updateSettings(const AppSettings& s);
    void updateSettings(const SenderSettings& s);

    // A mail marked for conversion (m_convert3gp) has each attachment
    // passed through `converter` (with "FFMPEG_PATH" and "FFMPEG_OPTION"
    // of the settings) on the sender thread before its message is built;
    // it is sent with what the converter returns, and each failure text
    // goes to `notify`. The queued mail then keeps those paths and loses
    // its mark, so a retry never converts (or tells) again. Null converter:
    // the files go as they are. The converter must outlive the sender's
    // thread. Call while no sender runs (before start()). UI thread.
    void setAttachmentConverter(AttachmentConverter* converter, NotifyFn notify);

    // Starts SendMailThread (stop request cleared) unless one runs; false
    // when one was running already (it goes on with the new settings).
    // UI thread.
    bool start();
    // m_bStopMailThread: the thread ends at its next 100-ms slice that finds
    // the queue empty. Any thread.
    void requestStop() { m_bStopMailThread = 1; }
    // Lifts the stop request. Afterwards either the thread goes on or
    // running() is already false, so a caller can start() a new one.
    void clearStop();
    bool running() const { return running_.load(); }
    // Ends the thread after its current attempt, whatever is queued, and
    // joins it. Bounded by one SMTP time-out (a transfer is cancelled within
    // about a second). UI thread.
    void stopAndJoin();

    // Waits until the queue is empty, at most 101 slices of 100 ms on the
    // clock. UI thread; the sender goes on meanwhile.
    void WaitAllMailSend();

    // The rate limit over m_sentTimes (pruned on the way). Sender thread;
    // public for tests.
    int IsEmergencyMode();

    // Observers for tests and diagnostics. Any thread.
    bool batchMode() const { return m_bBatchMode.load(); }
    bool lastSendOk() const { return m_bLastSendOk.load(); }
    std::deque<TimeT> sentTimes() const;
    // Adds a sent time as if a mail queued at t had just been sent (tests).
    void addSentTime(TimeT t);

  private:
    void SendMailThread();
    // One attempt on the head mail (or a digest in batch mode). False when
    // the queue was empty.
    bool sendStep();
    // The conversion of a marked mail's attachments (see
    // setAttachmentConverter). False when the thread is told to end
    // meanwhile: the mail keeps its mark and its files.
    bool convertAttachments(MailSnapshot& mail, CMail* digest, const SenderSettings& cfg);
    // Sleeps n slices of 100 ms; false when the thread must end now.
    bool pause(int slices, bool endOnStopWhenEmpty);
    // True (and running() false) when the thread must end: abandoned, or
    // the stop request still stands.
    bool endNow();
    void report(const std::string& text) { report_(text, 1); }
    SenderSettings currentSettings() const;

    MailQueue& queue_;
    Clock& clock_;
    std::unique_ptr<SmtpClient> smtp_;
    std::unique_ptr<NetworkState> network_;
    ReportFn report_;
    Options options_;
    AttachmentConverter* converter_ = nullptr;  // not owned
    NotifyFn notify_;

    mutable std::mutex settingsMutex_;
    std::mutex lifeMutex_;  // orders the end of the thread against clearStop()
    SenderSettings settings_;

    std::atomic<int> m_bStopMailThread{0};
    std::atomic<bool> abandon_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> m_bBatchMode{false};
    std::atomic<bool> m_bLastSendOk{true};
    std::deque<TimeT> m_sentTimes;  // newest first; under queue_.CS_SendMailThread
    std::thread thread_;
};

}  // namespace orvana
