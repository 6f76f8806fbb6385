#include "mail/mail_sender.h"

#include <cstdio>

#include "mail/mime_message.h"
#include "orvana/build_config.h"

namespace orvana {

SenderSettings SenderSettings::of(const AppSettings& s) {
    SenderSettings r;
    r.useQuellorSmtp = s.useQuellorSmtp;
    r.smtp = s.smtp;
    r.portNum = s.portNum;
    r.enableSsl = s.enableSsl;
    r.userName = s.userName;
    r.password = s.password;
    r.from = s.from;
    r.subject = s.subject;
    r.ffmpegPath = s.ffmpegPath;
    r.ffmpegOption = s.ffmpegOption;
    return r;
}

MakerAccount MakerAccount::fromBuild(const std::string& makerSmtpOverride) {
    MakerAccount m;
    m.hostPort = makerSmtpOverride.empty() ? std::string(build::kMakerSmtpHost) : makerSmtpOverride;
    m.account = build::kMakerAccount;
    return m;
}

void splitHostPort(const std::string& hostPort, std::string& host, int& port) {
    port = 0;
    std::string rest;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string::npos) {
            host = hostPort;
            return;
        }
        host = hostPort.substr(1, close - 1);
        rest = hostPort.substr(close + 1);
    } else {
        const std::size_t colon = hostPort.find(':');
        // More than one colon without brackets: a bare IPv6 address.
        if (colon == std::string::npos || hostPort.find(':', colon + 1) != std::string::npos) {
            host = hostPort;
            return;
        }
        host = hostPort.substr(0, colon);
        rest = hostPort.substr(colon);
    }
    if (rest.size() > 1 && rest.front() == ':') {
        try {
            std::size_t used = 0;
            const int p = std::stoi(rest.substr(1), &used);
            if (used == rest.size() - 1 && p > 0 && p < 65536)
                port = p;
        } catch (...) {
        }
    }
}

SmtpParams resolveSmtpParams(const SenderSettings& s, const MakerAccount& maker,
                             const std::string& caFile, std::string& from) {
    SmtpParams p;
    p.caFile = caFile;
    int explicitPort = 0;
    if (s.useQuellorSmtp == 1) {
        splitHostPort(s.smtp, p.host, explicitPort);
        p.port = explicitPort ? explicitPort : (s.portNum == 1 ? 587 : 25);
        p.auth = s.portNum == 1;
        p.user = s.userName;
        p.password = s.password;
        p.startTls = s.enableSsl == 1;
        from = s.from;
    } else {
        splitHostPort(maker.hostPort, p.host, explicitPort);
        p.port = explicitPort ? explicitPort : 587;
        p.auth = true;
        p.user = maker.account;
        p.password = maker.password;
        p.startTls = false;
        from = maker.account;
    }
    p.implicitTls = p.port == 465;
    if (p.implicitTls)
        p.startTls = false;
    return p;
}

bool isMalformedAddress(const std::string& a) {
    // An SMTP path holds 256 octets with its angle brackets (RFC 5321
    // 4.5.3.1.3); a longer address would also stretch the From or To header
    // line past the 998 octets a line may have.
    if (a.empty() || a.size() > 254)
        return true;
    for (unsigned char c : a)
        if (c <= 0x20 || c == 0x7F || c == '<' || c == '>')
            return true;
    return false;
}

MailSender::MailSender(MailQueue& queue, Clock& clock, std::unique_ptr<SmtpClient> smtp,
                       std::unique_ptr<NetworkState> network, ReportFn report, Options options)
    : queue_(queue),
      clock_(clock),
      smtp_(std::move(smtp)),
      network_(std::move(network)),
      report_(std::move(report)),
      options_(std::move(options)) {}

MailSender::~MailSender() {
    stopAndJoin();
}

void MailSender::updateSettings(const AppSettings& s) {
    updateSettings(SenderSettings::of(s));
}

void MailSender::updateSettings(const SenderSettings& s) {
    std::lock_guard lock(settingsMutex_);
    settings_ = s;
}

void MailSender::setAttachmentConverter(AttachmentConverter* converter, NotifyFn notify) {
    converter_ = converter;
    notify_ = std::move(notify);
}

SenderSettings MailSender::currentSettings() const {
    std::lock_guard lock(settingsMutex_);
    return settings_;
}

bool MailSender::start() {
    if (running_.load())
        return false;
    if (thread_.joinable())
        thread_.join();  // a sender that has ended
    abandon_ = false;
    m_bStopMailThread = 0;
    running_ = true;
    thread_ = std::thread([this] { SendMailThread(); });
    return true;
}

void MailSender::stopAndJoin() {
    abandon_ = true;
    m_bStopMailThread = 1;
    if (thread_.joinable())
        thread_.join();
}

std::deque<TimeT> MailSender::sentTimes() const {
    std::lock_guard lock(queue_.CS_SendMailThread);
    return m_sentTimes;
}

void MailSender::addSentTime(TimeT t) {
    std::lock_guard lock(queue_.CS_SendMailThread);
    m_sentTimes.push_front(t);
}

int MailSender::IsEmergencyMode() {
    static constexpr std::int64_t windows[5] = {20, 60, 180, 600, 1800};
    static constexpr int limits[5] = {10, 15, 20, 25, 30};
    int counts[5] = {0, 0, 0, 0, 0};
    const TimeT now = clock_.now();
    std::lock_guard lock(queue_.CS_SendMailThread);
    for (auto it = m_sentTimes.begin(); it != m_sentTimes.end();) {
        const std::int64_t d = now - *it;
        if (d > 1800) {
            it = m_sentTimes.erase(it);
            continue;
        }
        for (int k = 0; k < 5; ++k)
            if (d <= windows[k])
                ++counts[k];
        ++it;
    }
    for (int k = 0; k < 5; ++k)
        if (counts[k] > limits[k])
            return 1;
    return 0;
}

void MailSender::WaitAllMailSend() {
    const std::int64_t start = clock_.nowMs();
    int slept = 0;
    while (!queue_.empty()) {
        ++slept;
        const std::int64_t d = start + slept * 100 - clock_.nowMs();
        clock_.sleepFor(std::chrono::milliseconds(d > 0 ? d : 0));
        if (slept >= 101)
            return;
    }
}

bool MailSender::pause(int slices, bool endOnStopWhenEmpty) {
    // Slices end on fixed boundaries from the start, so a long wait does not
    // drift and a virtual clock can pass it in one step.
    const std::int64_t start = clock_.nowMs();
    for (int k = 1; k <= slices; ++k) {
        const std::int64_t d = start + k * 100 - clock_.nowMs();
        if (d > 0)
            clock_.sleepFor(std::chrono::milliseconds(d));
        if (abandon_.load())
            return false;
        if (endOnStopWhenEmpty && m_bStopMailThread.load() && queue_.empty())
            return false;
    }
    return true;
}

void MailSender::SendMailThread() {
    bool networkSeen = false, previouslySeen = true;
    for (;;) {
        // 1. wait
        if (!pause(m_bBatchMode ? 6000 : 1, true)) {
            if (endNow())
                return;
            continue;  // the stop request was lifted meanwhile
        }
        // The outbox's bounds: beyond them the oldest mails become a digest.
        queue_.foldIfOverLimits(currentSettings().subject, clock_.now());
        // 2.-3.
        if (queue_.empty()) {
            if (m_bBatchMode) {
                report("メールを逐次送信するモードへ戻します。");
                m_bBatchMode = false;
            }
            continue;
        }
        // 4. network gate, only until the network was first seen
        if (network_ && network_->isConnected()) {
            networkSeen = true;
        } else if (!networkSeen) {
            if (previouslySeen)
                report("NetWorkが無効です");
            previouslySeen = false;
            continue;
        }
        // 5.
        if (!previouslySeen)
            report("Networkが有効になりました");
        // 6.-8.
        for (;;) {
            if (abandon_.load())
                break;
            if (!sendStep()) {
                if (m_bBatchMode) {
                    report("メールを逐次送信するモードへ戻します。");
                    m_bBatchMode = false;
                }
                break;
            }
            if (abandon_.load())
                break;
            if (!m_bBatchMode) {
                m_bBatchMode = IsEmergencyMode() != 0;
                if (m_bBatchMode)
                    report(
                        "時間当たりのメール数が規定値を超えました。\r\n１０分毎にまとめて送信するモ"
                        "ードへ変更します。");
            }
            if (m_bBatchMode)
                break;
        }
        previouslySeen = networkSeen;
        if (abandon_.load())
            break;
    }
    endNow();
}

bool MailSender::endNow() {
    // Under the same lock as clearStop(): a stop request lifted before this
    // point keeps the thread going, one lifted after it sees running() false.
    std::lock_guard lock(lifeMutex_);
    if (!abandon_.load() && m_bStopMailThread.load() == 0)
        return false;
    running_ = false;
    return true;
}

void MailSender::clearStop() {
    std::lock_guard lock(lifeMutex_);
    m_bStopMailThread = 0;
}

bool MailSender::convertAttachments(MailSnapshot& mail, CMail* digest, const SenderSettings& cfg) {
    std::vector<std::string> converted;
    std::vector<std::string> notices;
    for (const std::string& path : mail.attachments) {
        std::string notice;
        converted.push_back(
            converter_->convert(path, cfg.ffmpegPath, cfg.ffmpegOption, &notice, &abandon_));
        if (!notice.empty())
            notices.push_back(std::move(notice));
    }
    if (abandon_.load())
        return false;
    // Recorded before anything is told: a failed conversion is not tried
    // (nor told) again when the send has to be retried.
    mail.attachments = converted;
    mail.convert3gp = false;
    if (digest) {
        digest->m_attachments = std::move(converted);
        digest->m_convert3gp = false;
    } else {
        queue_.setHeadConverted(mail.identity, converted);
    }
    if (notify_)
        for (const std::string& n : notices)
            notify_(n);
    return true;
}

bool MailSender::sendStep() {
    const SenderSettings cfg = currentSettings();
    std::unique_ptr<CMail> digest;
    MailSnapshot mail;
    if (m_bBatchMode) {
        digest = queue_.takeDigest(cfg.subject, clock_.now());
        if (!digest)
            return false;
        mail = snapshotOf(*digest);
    } else {
        // A long outage fills the outbox while this loop retries.
        queue_.foldIfOverLimits(cfg.subject, clock_.now());
        auto h = queue_.head();
        if (!h)
            return false;
        mail = std::move(*h);
    }
    // Its recordings become 3GP files now, on this thread, never on the
    // UI thread that composed it.
    if (mail.convert3gp && converter_ && !convertAttachments(mail, digest.get(), cfg)) {
        // Told to end: the mail waits, mark and all, for the next start.
        if (digest)
            queue_.pushFront(std::move(digest));
        return true;
    }

    std::string from;
    const SmtpParams params = resolveSmtpParams(cfg, options_.maker, options_.caFile, from);
    SmtpParams timed = params;
    timed.connectTimeout = options_.connectTimeout;
    timed.totalTimeout = options_.totalTimeout;

    std::vector<std::string> to, cc, replyTo;
    CMail::GetAddressToArray(mail.to, to);
    CMail::GetAddressToArray(mail.cc, cc);
    CMail::GetAddressToArray(mail.replyTo, replyTo);

    // Recipients in order; an address that is malformed is refused here,
    // without reaching the server.
    struct Rcpt {
        std::string address;
        bool isCc;
    };
    std::vector<Rcpt> envelope;
    std::vector<SmtpRefusal> refused;
    std::vector<std::string> hdrTo, hdrCc;
    auto collect = [&](const std::vector<std::string>& list, bool isCc) {
        for (const auto& a : list) {
            if (isMalformedAddress(a)) {
                refused.push_back({a, 0});
                continue;
            }
            bool dup = false;
            for (const auto& e : envelope)
                dup = dup || e.address == a;
            if (dup)
                continue;
            envelope.push_back({a, isCc});
            (isCc ? hdrCc : hdrTo).push_back(a);
        }
    };
    collect(to, false);
    collect(cc, true);
    std::vector<std::string> cleanReplyTo;
    for (const auto& a : replyTo)
        if (!isMalformedAddress(a))
            cleanReplyTo.push_back(a);

    SmtpResult result;
    int attached = 0;  // the files that really went out, not the ones named
    if (envelope.empty()) {
        result.status = SmtpResult::Refused;
    } else {
        MimeInput in;
        in.from = from;
        in.to = hdrTo;
        in.cc = hdrCc;
        in.replyTo = cleanReplyTo;
        in.subject = mail.subject;
        in.body = mail.body;
        in.attachments = mail.attachments;
        in.date = clock_.now();
        const std::string message = buildMimeMessage(in, &attached);
        std::vector<std::string> rcpts;
        for (const auto& e : envelope)
            rcpts.push_back(e.address);
        if (isMalformedAddress(from)) {
            result.status = SmtpResult::Failed;
            result.error = "malformed sender address";
        } else {
            // The outbox file goes the moment the server has the mail, not
            // after the session closed: a crash while the server says goodbye
            // must not send it again.
            timed.onAccepted = [&] {
                if (digest)
                    queue_.settleDigest(*digest);
                else
                    queue_.settleHead(mail.identity);
            };
            result = smtp_->send(timed, from, rcpts, message, &abandon_);
        }
        for (auto& r : result.refused)
            refused.push_back(r);
    }

    auto finish = [&](bool delivered) {
        // The outbox file goes first, the moment the server has the mail, so
        // a crash sends it twice only if it comes while the server answers.
        const bool isDigest = digest != nullptr;
        if (!isDigest)
            queue_.settleHead(mail.identity);
        else
            queue_.finishDigest(std::move(digest));
        if (delivered) {
            if (refused.empty() && !m_bLastSendOk)
                report("Network接続が有効になりました");
            report("メール送信が完了しました(添付ファイル:" + std::to_string(attached) + "個)");
            if (refused.empty())
                m_bLastSendOk = true;
        }
        {
            std::lock_guard lock(queue_.CS_SendMailThread);
            m_sentTimes.push_front(mail.time);
        }
        if (!isDigest)
            queue_.removeHead(mail.identity);
    };

    // Nothing but blanks between the commas: nobody to send to, so the mail
    // is done without claiming a delivery.
    if (envelope.empty() && refused.empty()) {
        finish(false);
        return true;
    }
    if (result.status == SmtpResult::Failed) {
        // A digest that failed goes back to the queue (and stays on the disk)
        // before the failure is told, so its notices are folded into the
        // next one instead of being lost.
        if (digest)
            queue_.pushFront(std::move(digest));
        report(
            "メール送信に失敗しました。インターネットに接続されていないか、設定に誤りがあります");
        m_bLastSendOk = false;
        pause(10, false);
        return true;
    }
    if (refused.empty()) {
        finish(true);
        return true;
    }

    // Some recipients refused: keep only those worth another try (mailbox
    // busy or unavailable); the ones that accepted never get it twice. The
    // recipients left are recorded before anything is reported.
    std::string retryTo, retryCc;
    for (const auto& r : refused) {
        if (r.code != 450 && r.code != 550)
            continue;
        bool isCc = false;
        for (const auto& e : envelope)
            if (e.address == r.address)
                isCc = e.isCc;
        std::string& list = isCc ? retryCc : retryTo;
        list += list.empty() ? r.address : "," + r.address;
    }
    const bool delivered = result.status == SmtpResult::Sent;
    const bool done = retryTo.empty() && retryCc.empty();
    if (!done && digest) {
        digest->m_to = retryTo;
        digest->m_cc = retryCc;
        queue_.pushFront(std::move(digest));
    } else if (!done) {
        queue_.setHeadRecipients(mail.identity, retryTo, retryCc);
    }
    for (const auto& r : refused) {
        if (r.code == 450 || r.code == 550)
            report("メール送信に失敗しました。再トライします");
        else
            report(stripControls(r.address) + "へのメール送信に失敗しました。");
    }
    m_bLastSendOk = false;
    if (done)
        finish(delivered);
    pause(10, false);
    return true;
}

}  // namespace orvana
