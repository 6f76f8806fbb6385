#include "demo/maildir_smtp_client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace orvana::demo {
namespace {

bool makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    struct stat st {};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    // "/" and ":" have meanings in Maildir file names.
    std::string h = name;
    for (char& c : h)
        if (c == '/' || c == ':')
            c = '_';
    return h;
}

// CR LF (and a lone CR) become LF.
std::string toLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Shared by every client of the process (the sender's and the test-mail
// dialog's), so two of them never pick the same name.
std::atomic<unsigned long> deliveries{0};

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class MaildirSmtpClient final : public SmtpClient {
  public:
    explicit MaildirSmtpClient(std::string folder) : folder_(std::move(folder)) {}

    SmtpResult send(const SmtpParams&, const std::string& from,
                    const std::vector<std::string>& recipients, const std::string& message,
                    const std::atomic<bool>*) override {
        SmtpResult r;
        std::vector<std::string> accepted;
        for (const std::string& to : recipients) {
            if (isMalformedAddress(to))
                r.refused.push_back({to, 0});
            else
                accepted.push_back(to);
        }
        if (accepted.empty()) {
            r.status = SmtpResult::Refused;
            r.error = "no valid recipient";
            return r;
        }
        if (!createMaildir(folder_)) {
            r.error = "cannot create the Maildir folder " + folder_;
            return r;
        }
        std::string text = "Return-Path: <" + from + ">\n";
        for (const std::string& to : accepted)
            text += "Delivered-To: " + to + "\n";
        text += toLf(message);
        if (text.empty() || text.back() != '\n')
            text += '\n';

        const std::string name = uniqueName();
        const std::string tmp = folder_ + "/tmp/" + name;
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            r.error = "cannot create " + tmp + ": " + std::strerror(errno);
            return r;
        }
        const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        if (!written || !closed || ::rename(tmp.c_str(), (folder_ + "/new/" + name).c_str()) != 0) {
            r.error = "cannot write " + tmp + ": " + std::strerror(errno);
            ::unlink(tmp.c_str());
            return r;
        }
        r.status = SmtpResult::Sent;
        return r;
    }

  private:
    // time.M<microseconds>P<pid>Q<count>.<host>: unique on this host.
    std::string uniqueName() {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const long long us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
        return std::to_string(us / 1000000) + ".M" + std::to_string(us % 1000000) + "P" +
               std::to_string(::getpid()) + "Q" + std::to_string(++deliveries) + "." + host_;
    }

    std::string folder_;
    std::string host_ = hostName();
};

class LocalDelivery final : public NetworkState {
  public:
    bool isConnected() override { return true; }
};

}  // namespace

std::unique_ptr<NetworkState> makeLocalDeliveryNetworkState() {
    return std::make_unique<LocalDelivery>();
}

bool createMaildir(const std::string& folder) {
    return makeFolder(folder) && makeFolder(folder + "/new") && makeFolder(folder + "/cur") &&
           makeFolder(folder + "/tmp");
}

std::unique_ptr<SmtpClient> makeMaildirSmtpClient(std::string folder) {
    return std::make_unique<MaildirSmtpClient>(std::move(folder));
}

}  // namespace orvana::demo
