// Peers and doubles for the mail tests: a real SMTP server (aiosmtpd) with
// STARTTLS and AUTH, a tiny HTTP server, and test doubles of the mail
// facilities.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/attachment_converter.h"
#include "mail/mail_host.h"
#include "mail/network_state.h"
#include "mail/smtp_client.h"
#include "tests/support/virtual_clock.h"

namespace orvana::testing {

// A fresh folder under /tmp, removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Runs argv (no shell), waits; returns the exit status or -1.
int runCommand(const std::vector<std::string>& argv);
void writeFile(const std::string& path, const std::string& data);
std::string readFile(const std::string& path);

struct ReceivedAttachment {
    std::string filename, contentType;
    long size = 0;
};

// One message as the server's MIME parser (Python's email package) saw it.
struct ReceivedMail {
    std::string mailFrom;
    std::vector<std::string> rcptTos;
    bool tls = false, authenticated = false;
    std::string subject, rawSubject, from, to, cc, replyTo, date, messageId, body, bodyCharset;
    std::vector<std::string> headerNames;
    std::vector<ReceivedAttachment> attachments;
    std::string raw;
};

// aiosmtpd on a free loopback port with a certificate made for the run.
// User "watch" with password "s3cret".
class SmtpTestServer {
  public:
    SmtpTestServer();
    ~SmtpTestServer();
    bool ok() const { return pid_ > 0 && port_ > 0; }
    int port() const { return port_; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& certPath() const { return cert_; }
    static constexpr const char* kUser = "watch";
    static constexpr const char* kPassword = "s3cret";

    std::vector<ReceivedMail> messages() const;
    // Waits in real time until at least n messages arrived.
    bool waitForMessages(std::size_t n,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // "address code" lines, one per refused RCPT.
    std::vector<std::string> refusals() const;
    // Stops and starts the server on the same port (same stored messages).
    void stop();
    bool restart();

  private:
    bool launch(int port);
    TempDir dir_;
    std::string cert_, key_, store_;
    int pid_ = -1;
    int port_ = 0;
};

// Answers every GET with `response` (a whole HTTP response), or, with
// answer = false, accepts connections and never says a word.
class TinyHttpServer {
  public:
    explicit TinyHttpServer(std::string response, bool answer = true);
    ~TinyHttpServer();
    int port() const { return port_; }
    std::string url(const std::string& path = "/ip_addr.php") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requests() const { return requests_.load(); }
    static std::string page(const std::string& body, int status = 200);

  private:
    void run();
    std::string response_;
    bool answer_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class FakeNetworkState final : public NetworkState {
  public:
    std::atomic<bool> up{true};
    std::atomic<int> calls{0};
    bool isConnected() override {
        ++calls;
        return up.load();
    }
};

// Scripted SMTP: each send pops the next result (Sent when none is left).
class FakeSmtpClient final : public SmtpClient {
  public:
    struct Call {
        SmtpParams params;
        std::string from;
        std::vector<std::string> recipients;
        std::string message;
    };
    SmtpResult send(const SmtpParams& params, const std::string& from,
                    const std::vector<std::string>& recipients, const std::string& message,
                    const std::atomic<bool>* cancel) override;
    void script(SmtpResult r);
    std::vector<Call> calls() const;

  private:
    mutable std::mutex mutex_;
    std::vector<SmtpResult> script_;
    std::vector<Call> calls_;
};

// The sound monitor's recording converter without ffmpeg: an existing
// "x.wav" becomes "x.3gp" beside it ("3gp of " + its bytes), or, while
// `fail` is set, stays and gives the conversion failure text; other and
// missing files pass unchanged. Every call is recorded.
class FakeAttachmentConverter final : public AttachmentConverter {
  public:
    struct Call {
        std::string path, converter, options;
    };
    std::string convert(const std::string& path, const std::string& converter,
                        const std::string& options, std::string* notice,
                        const std::atomic<bool>* cancel) override;
    std::vector<Call> calls() const;
    std::atomic<bool> fail{false};

  private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

// Every report of the code under test, in order.
class ReportLog {
  public:
    void add(const std::string& text, int stampMode);
    std::vector<std::pair<std::string, int>> all() const;
    std::vector<std::string> texts() const;
    int count(const std::string& text) const;
    // Waits in real time until `text` was reported at least n times.
    bool waitFor(const std::string& text, int n = 1,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::pair<std::string, int>> lines_;
};

// The monitor windows the composer tests place.
enum class MailMonitor { Sound, Temperature, Geiger, Owl };

// A monitor window's attachments: each call writes a small file named after
// the window and a counter.
class FakeAttachmentSource final {
  public:
    FakeAttachmentSource(std::string dir, std::string name)
        : dir_(std::move(dir)), name_(std::move(name)) {}
    std::string SaveClientBitmap() { return save("#" + name_ + ".jpg"); }
    std::string SaveImage(int) { return save("#" + name_ + "img.jpg"); }
    std::string SaveWave() { return save("#" + name_ + ".wav"); }
    int saves = 0;

  private:
    std::string save(const std::string& suffix);
    std::string dir_, name_;
};

// A MailHost whose registry holds one monitor kind per entry of `monitors`
// and a camera kind over `cameras`: a kind runs while its entry exists (for
// cameras: while camera window 0 exists).
class FakeMailHost final : public MailHost {
  public:
    explicit FakeMailHost(std::string dir);
    const AppSettings& settings() const override { return s; }
    Clock& clock() override { return clk; }
    void Report(const std::string& text, int stampMode, int = 0) override {
        log.add(text, stampMode);
    }
    MonitorRegistry& monitors() override { return registry; }
    std::string SaveDesktopBitmap() override;
    std::string GetIpAddress() override;

    AppSettings s;
    VirtualClock clk{1765170000};
    ReportLog log;
    std::map<MailMonitor, std::unique_ptr<FakeAttachmentSource>> windows;
    std::vector<std::unique_ptr<FakeAttachmentSource>> cameras;
    MonitorRegistry registry;
    std::function<std::string()> ip;  // null: "198.51.100.7"
    int desktopSaves = 0;
    int ipCalls = 0;
    void addMonitor(MailMonitor m, const std::string& name);
    void addCameras(int n);

  private:
    std::string dir_;
};

// Recipients for tests: address plus flags IJYOU, TEIKI, KANRI, TEST.
CUserAddress recipient(const std::string& address, int ijyou, int teiki = 0, int kanri = 0,
                       int test = 0);

}  // namespace orvana::testing
