#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "mail/curl_global.h"
#include "mail/smtp_client.h"

namespace orvana {
namespace {

struct Transfer {
    const std::string* message = nullptr;
    std::size_t offset = 0;
    const std::atomic<bool>* cancel = nullptr;
    // RCPT bookkeeping from the dialogue: libcurl sends the recipients in
    // list order, one RCPT TO at a time, so the n-th reply belongs to the
    // n-th recipient (whatever form the address took on the wire).
    bool rcptPending = false;
    std::string replyLine;
    std::vector<int> rcptReplies;
    // The message itself: "DATA" sent, its 354, then the reply to the end of
    // the data, which is the server taking the mail.
    bool dataPending = false;
    bool endPending = false;
    bool accepted = false;
    std::size_t recipients = 0;
    const std::function<void()>* onAccepted = nullptr;
};

size_t readMessage(char* buf, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t left = t->message->size() - t->offset;
    const std::size_t k = std::min(left, size * n);
    std::memcpy(buf, t->message->data() + t->offset, k);
    t->offset += k;
    return k;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return (t->cancel && t->cancel->load()) ? 1 : 0;
}

// One complete reply: RCPT replies are matched to their recipients; the
// reply to the end of the data tells the moment the server took the mail.
void onReply(Transfer* t, int code) {
    if (t->rcptPending) {
        t->rcptReplies.push_back(code);
        t->rcptPending = false;
    } else if (t->dataPending) {
        t->dataPending = false;
        t->endPending = code == 354;
    } else if (t->endPending) {
        t->endPending = false;
        if (code < 200 || code >= 300)
            return;
        t->accepted = true;
        bool everyone = t->rcptReplies.size() >= t->recipients;
        for (int c : t->rcptReplies)
            everyone = everyone && c >= 200 && c < 400;
        if (everyone && t->onAccepted && *t->onAccepted)
            (*t->onAccepted)();
    }
}

// Follows the dialogue to learn each recipient's reply (libcurl sends one
// RCPT TO at a time and reads its reply before the next) and the server's
// acceptance of the message.
int debugTrace(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::string text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        t->rcptPending = text.rfind("RCPT TO:", 0) == 0;
        t->dataPending = text.rfind("DATA", 0) == 0;
        t->replyLine.clear();
    } else if (type == CURLINFO_HEADER_IN &&
               (t->rcptPending || t->dataPending || t->endPending)) {
        t->replyLine += text;
        std::size_t nl;
        while ((nl = t->replyLine.find('\n')) != std::string::npos) {
            std::string line = t->replyLine.substr(0, nl);
            t->replyLine.erase(0, nl + 1);
            // The last line of a reply is "ddd text" (not "ddd-text").
            if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                (line.size() == 3 || line[3] != '-'))
                onReply(t, std::atoi(line.substr(0, 3).c_str()));
        }
    }
    return 0;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool hostIsSafe(const std::string& h) {
    if (h.empty())
        return false;
    for (unsigned char c : h)
        if (c <= 0x20 || c == 0x7F || c == '/' || c == '@' || c == '?' || c == '#' || c == '\\')
            return false;
    return true;
}

class CurlSmtpClient final : public SmtpClient {
  public:
    SmtpResult send(const SmtpParams& p, const std::string& from,
                    const std::vector<std::string>& recipients, const std::string& message,
                    const std::atomic<bool>* cancel) override {
        ensureCurlGlobalInit();
        SmtpResult result;
        if (!hostIsSafe(p.host)) {
            result.error = "bad host";
            return result;
        }
        std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), &curl_easy_cleanup);
        if (!h) {
            result.error = "curl_easy_init";
            return result;
        }
        const bool v6 = p.host.find(':') != std::string::npos;
        const std::string url = std::string(p.implicitTls ? "smtps://" : "smtp://") +
                                (v6 ? "[" + p.host + "]" : p.host) + ":" + std::to_string(p.port);
        std::unique_ptr<curl_slist, void (*)(curl_slist*)> rcpts(nullptr, &curl_slist_free_all);
        for (const auto& r : recipients) {
            curl_slist* n = curl_slist_append(rcpts.get(), ("<" + r + ">").c_str());
            if (!n)
                return result;
            rcpts.release();
            rcpts.reset(n);
        }
        Transfer t;
        t.message = &message;
        t.cancel = cancel;
        t.recipients = recipients.size();
        t.onAccepted = &p.onAccepted;
        CURL* c = h.get();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(p.connectTimeout.count()));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(p.totalTimeout.count()));
        curl_easy_setopt(c, CURLOPT_MAIL_FROM, ("<" + from + ">").c_str());
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpts.get());
        // Go on when some recipients are refused; the debug trace tells which.
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, &readMessage);
        curl_easy_setopt(c, CURLOPT_READDATA, &t);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
        curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &debugTrace);
        curl_easy_setopt(c, CURLOPT_DEBUGDATA, &t);
        curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
        if (p.startTls && !p.implicitTls)
            curl_easy_setopt(c, CURLOPT_USE_SSL, CURLUSESSL_ALL);
        std::string caBlob;
        if (!p.caFile.empty()) {
            // The system bundle and the extra file together, so both are trusted.
            caBlob = readFile("/etc/ssl/certs/ca-certificates.crt") + "\n" + readFile(p.caFile);
            curl_blob blob{caBlob.data(), caBlob.size(), CURL_BLOB_NOCOPY};
            curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &blob);
        }
        if (p.auth) {
            curl_easy_setopt(c, CURLOPT_USERNAME, p.user.c_str());
            curl_easy_setopt(c, CURLOPT_PASSWORD, p.password.c_str());
        }
        char errbuf[CURL_ERROR_SIZE] = {0};
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
        const CURLcode rc = curl_easy_perform(c);

        std::size_t accepted = 0;
        for (std::size_t i = 0; i < recipients.size() && i < t.rcptReplies.size(); ++i) {
            const int code = t.rcptReplies[i];
            if (code >= 200 && code < 400)
                ++accepted;
            else
                result.refused.push_back({recipients[i], code});
        }
        const bool allRcptAnswered = t.rcptReplies.size() >= recipients.size();
        // Once the server has taken the mail it is sent, whatever becomes of
        // the closing of the session.
        if (rc == CURLE_OK || t.accepted) {
            result.status = SmtpResult::Sent;
        } else if (allRcptAnswered && accepted == 0 && !result.refused.empty()) {
            result.status = SmtpResult::Refused;
        } else {
            result.status = SmtpResult::Failed;
            result.refused.clear();
            result.error = errbuf[0] ? errbuf : curl_easy_strerror(rc);
        }
        return result;
    }
};

}  // namespace

std::unique_ptr<SmtpClient> makeCurlSmtpClient() {
    return std::make_unique<CurlSmtpClient>();
}

}  // namespace orvana
