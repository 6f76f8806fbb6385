#include "tests/mail/mail_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "orvana/build_config.h"

extern char** environ;

namespace orvana::testing {

TempDir::TempDir() {
    std::string tmpl = "/tmp/orvana-mail-XXXXXX";
    char* p = mkdtemp(tmpl.data());
    path_ = p ? std::string(p) : std::string("/tmp");
}

TempDir::~TempDir() {
    std::error_code ec;
    if (path_ != "/tmp")
        std::filesystem::remove_all(path_, ec);
}

int runCommand(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// ---- SMTP server ----

SmtpTestServer::SmtpTestServer() {
    cert_ = dir_.file("cert.pem");
    key_ = dir_.file("key.pem");
    store_ = dir_.file("mail");
    std::filesystem::create_directory(store_);
    const int rc =
        runCommand({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key_,
                    "-out", cert_, "-days", "2", "-subj", "/CN=localhost", "-addext",
                    "subjectAltName=IP:127.0.0.1,DNS:localhost"});
    if (rc != 0)
        return;
    launch(0);
}

bool SmtpTestServer::launch(int port) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const std::string script = std::string(ORVANA_MAIL_TEST_DIR) + "/smtp_server.py";
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     script,
                                     "--dir",
                                     store_,
                                     "--cert",
                                     cert_,
                                     "--key",
                                     key_,
                                     "--user",
                                     kUser,
                                     "--password",
                                     kPassword,
                                     "--account",
                                     std::string(build::kMakerAccount) + ":Rt5Hob82"};
    if (port) {
        argv.push_back("--port");
        argv.push_back(std::to_string(port));
    }
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    const std::string errLog = dir_.file("server.log");
    posix_spawn_file_actions_addopen(&fa, 2, errLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }
    pid_ = pid;
    // Wait for "ready PORT" (real time: the server is a real process).
    std::string out;
    pollfd pfd{fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (poll(&pfd, 1, 200) <= 0)
            continue;
        char buf[128];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (out.rfind("ready ", 0) != 0) {
        stop();
        return false;
    }
    port_ = std::atoi(out.c_str() + 6);
    return port_ > 0;
}

void SmtpTestServer::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

bool SmtpTestServer::restart() {
    stop();
    return launch(port_);
}

SmtpTestServer::~SmtpTestServer() {
    stop();
}

namespace {
std::string str(const QJsonObject& o, const char* k) {
    return o.value(k).toString().toStdString();
}
}  // namespace

std::vector<ReceivedMail> SmtpTestServer::messages() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(store_, ec))
        if (e.path().extension() == ".json")
            names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    std::vector<ReceivedMail> out;
    for (const auto& n : names) {
        const std::string data = readFile(n);
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(data)).object();
        ReceivedMail m;
        m.mailFrom = str(o, "mail_from");
        for (const auto& v : o.value("rcpt_tos").toArray())
            m.rcptTos.push_back(v.toString().toStdString());
        m.tls = o.value("tls").toBool();
        m.authenticated = o.value("authenticated").toBool();
        m.subject = str(o, "subject");
        m.rawSubject = str(o, "raw_subject");
        m.from = str(o, "from");
        m.to = str(o, "to");
        m.cc = str(o, "cc");
        m.replyTo = str(o, "reply_to");
        m.date = str(o, "date");
        m.messageId = str(o, "message_id");
        m.body = str(o, "body");
        m.bodyCharset = str(o, "body_charset");
        for (const auto& v : o.value("header_names").toArray())
            m.headerNames.push_back(v.toString().toStdString());
        for (const auto& v : o.value("attachments").toArray()) {
            const QJsonObject a = v.toObject();
            m.attachments.push_back({str(a, "filename"), str(a, "content_type"),
                                     static_cast<long>(a.value("size").toDouble())});
        }
        m.raw = readFile(n.substr(0, n.size() - 5) + ".eml");
        out.push_back(std::move(m));
    }
    return out;
}

bool SmtpTestServer::waitForMessages(std::size_t n, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (messages().size() >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return messages().size() >= n;
}

std::vector<std::string> SmtpTestServer::refusals() const {
    std::vector<std::string> out;
    std::istringstream in(readFile(store_ + "/refusals.log"));
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out.push_back(line);
    return out;
}

// ---- HTTP server ----

TinyHttpServer::TinyHttpServer(std::string response, bool answer)
    : response_(std::move(response)), answer_(answer) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 16);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

TinyHttpServer::~TinyHttpServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
}

std::string TinyHttpServer::page(const std::string& body, int status) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void TinyHttpServer::run() {
    std::vector<int> silent;
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const int c = accept(fd_, nullptr, nullptr);
        if (c < 0)
            continue;
        ++requests_;
        if (!answer_) {
            silent.push_back(c);  // keep it open, say nothing
            continue;
        }
        std::string req;
        char buf[1024];
        while (req.find("\r\n\r\n") == std::string::npos) {
            pollfd q{c, POLLIN, 0};
            if (poll(&q, 1, 2000) <= 0)
                break;
            const ssize_t n = read(c, buf, sizeof buf);
            if (n <= 0)
                break;
            req.append(buf, static_cast<std::size_t>(n));
        }
        (void)!write(c, response_.data(), response_.size());
        close(c);
    }
    for (int c : silent)
        close(c);
}

// ---- doubles ----

SmtpResult FakeSmtpClient::send(const SmtpParams& params, const std::string& from,
                                const std::vector<std::string>& recipients,
                                const std::string& message, const std::atomic<bool>*) {
    std::lock_guard lock(mutex_);
    calls_.push_back({params, from, recipients, message});
    if (script_.empty())
        return SmtpResult{SmtpResult::Sent, {}, {}};
    SmtpResult r = script_.front();
    script_.erase(script_.begin());
    return r;
}

void FakeSmtpClient::script(SmtpResult r) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(r));
}

std::vector<FakeSmtpClient::Call> FakeSmtpClient::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void ReportLog::add(const std::string& text, int stampMode) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(text, stampMode);
    changed_.notify_all();
}

std::vector<std::pair<std::string, int>> ReportLog::all() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> ReportLog::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> v;
    for (const auto& l : lines_)
        v.push_back(l.first);
    return v;
}

int ReportLog::count(const std::string& text) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(lines_.begin(), lines_.end(),
                                          [&](const auto& l) { return l.first == text; }));
}

bool ReportLog::waitFor(const std::string& text, int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return std::count_if(lines_.begin(), lines_.end(),
                             [&](const auto& l) { return l.first == text; }) >= n;
    });
}

std::string FakeAttachmentConverter::convert(const std::string& path, const std::string& converter,
                                             const std::string& options, std::string* notice,
                                             const std::atomic<bool>*) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({path, converter, options});
    }
    if (notice)
        notice->clear();
    const bool wav = path.size() > 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
    if (!wav || !std::filesystem::exists(path))
        return path;
    const std::string command =
        converter + " -i " + std::filesystem::path(path).filename().string();
    if (fail.load()) {
        if (notice)
            *notice =
                "3GPへの変換に失敗しました。FFmpeg.exeの場所や、実行オプションを確認して"
                "ください。\n\n" +
                command;
        return path;
    }
    const std::string out = path.substr(0, path.size() - 4) + ".3gp";
    writeFile(out, "3gp of " + readFile(path));
    return out;
}

std::vector<FakeAttachmentConverter::Call> FakeAttachmentConverter::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::string FakeAttachmentSource::save(const std::string& suffix) {
    ++saves;
    const std::string path = dir_ + "/" + std::to_string(saves) + suffix;
    writeFile(path, "data of " + name_ + " " + std::to_string(saves));
    return path;
}

namespace {

// One fake window as a monitor kind.
class FakeWindowMonitor final : public Monitor {
  public:
    FakeWindowMonitor(FakeMailHost& host, MailMonitor which, MonitorKind kind)
        : host_(host), which_(which), kind_(kind) {}
    const MonitorKind& kind() const override { return kind_; }
    int probe() override { return 1; }
    int start() override { return 1; }
    void stop() override {}
    bool running() const override { return window() != nullptr; }
    std::vector<std::string> attachments() override {
        FakeAttachmentSource* w = window();
        if (!w)
            return {};
        if (which_ == MailMonitor::Sound)
            return {w->SaveClientBitmap(), w->SaveWave()};
        return {w->SaveClientBitmap()};
    }
    std::string statusBlock() override { return {}; }
    void SaveSettingBeforeClose() override {}

  private:
    FakeAttachmentSource* window() const {
        auto it = host_.windows.find(which_);
        return it == host_.windows.end() ? nullptr : it->second.get();
    }
    FakeMailHost& host_;
    MailMonitor which_;
    MonitorKind kind_;
};

// The camera windows as one kind: pictures of every camera window, only
// while camera window 0 exists.
class FakeCameraMonitor final : public Monitor {
  public:
    explicit FakeCameraMonitor(FakeMailHost& host) : host_(host) {}
    const MonitorKind& kind() const override { return kind_; }
    int probe() override { return 1; }
    int start() override { return 1; }
    void stop() override {}
    bool running() const override { return !host_.cameras.empty() && host_.cameras[0]; }
    std::vector<std::string> attachments() override {
        std::vector<std::string> files;
        if (!running())
            return files;
        for (auto& cam : host_.cameras)
            if (cam)
                files.push_back(cam->SaveImage(0));
        return files;
    }
    std::string statusBlock() override { return {}; }
    void SaveSettingBeforeClose() override {}

  private:
    FakeMailHost& host_;
    MonitorKind kind_{"camera", ALERT_CAM, MonitorSwitch::Camera, COL_CAM, 20};
};

}  // namespace

FakeMailHost::FakeMailHost(std::string dir) : dir_(std::move(dir)) {
    registry.add(std::make_unique<FakeWindowMonitor>(
        *this, MailMonitor::Sound,
        MonitorKind{"sound", ALERT_VOL, MonitorSwitch::Sound, COL_VOL, 10}));
    registry.add(std::make_unique<FakeCameraMonitor>(*this));
    registry.add(std::make_unique<FakeWindowMonitor>(
        *this, MailMonitor::Temperature,
        MonitorKind{"temperature", ALERT_TEMP, MonitorSwitch::Temperature, COL_TEMP, 30}));
    registry.add(std::make_unique<FakeWindowMonitor>(
        *this, MailMonitor::Geiger,
        MonitorKind{"geiger", ALERT_GEIGER, MonitorSwitch::Geiger, COL_GEIGER, 40}));
    registry.add(std::make_unique<FakeWindowMonitor>(
        *this, MailMonitor::Owl, MonitorKind{"owl", ALERT_OWL, MonitorSwitch::Owl, COL_OWL, 50}));
}

std::string FakeMailHost::SaveDesktopBitmap() {
    ++desktopSaves;
    const std::string path = dir_ + "/" + std::to_string(desktopSaves) + "#win.jpg";
    writeFile(path, "desktop");
    return path;
}

std::string FakeMailHost::GetIpAddress() {
    ++ipCalls;
    return ip ? ip() : std::string("198.51.100.7");
}

void FakeMailHost::addMonitor(MailMonitor m, const std::string& name) {
    windows[m] = std::make_unique<FakeAttachmentSource>(dir_, name);
}

void FakeMailHost::addCameras(int n) {
    for (int i = 0; i < n; ++i)
        cameras.push_back(std::make_unique<FakeAttachmentSource>(dir_, "Cam" + std::to_string(i)));
}

CUserAddress recipient(const std::string& address, int ijyou, int teiki, int kanri, int test) {
    CUserAddress a;
    a.m_strAddress = address;
    a.m_bIjyou = ijyou;
    a.m_bTeiki = teiki;
    a.m_bKanri = kanri;
    a.m_bTest = test;
    return a;
}

}  // namespace orvana::testing
