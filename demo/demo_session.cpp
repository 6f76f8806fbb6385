#include "demo/demo_session.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/settings_store.h"
#include "core/status_text.h"
#include "demo/demo_settings.h"
#include "demo/maildir_smtp_client.h"

namespace orvana::demo {
namespace {

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0;
}

}  // namespace

std::unique_ptr<DemoSession> DemoSession::create(const DemoOptions& options, std::string& error) {
    std::unique_ptr<DemoSession> s(new DemoSession());
    s->options_ = options;
    s->schedule_ = Schedule(options.timeScale);
    s->clock_ = makeSystemClock();
    s->startMs_ = s->clock_->nowMs();

    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    std::string tmpl = base + "/orvana-demo-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        error = "cannot make a folder in " + base;
        return nullptr;
    }
    DemoPaths& p = s->paths_;
    p.root = tmpl;
    // A demo that cannot start leaves nothing behind.
    struct Cleanup {
        std::string root;
        ~Cleanup() {
            std::error_code ec;
            if (!root.empty())
                std::filesystem::remove_all(root, ec);
        }
    } cleanup{p.root};
    p.settings = p.root + "/orvana-demo.conf";
    p.data = p.root + "/data";
    p.maildir = p.data + "/Maildir";
    p.devices = p.root + "/devices";
    p.vendorDb = p.root + "/vendor/be.db";
    p.outbox = p.root + "/outbox";
    p.log = p.root + "/log";
    p.lockFile = p.root + "/orvana.lock";
    if (!makeFolder(p.data) || !makeFolder(p.devices) || !makeFolder(p.root + "/vendor") ||
        !makeFolder(p.log) || !createMaildir(p.maildir)) {
        error = "cannot make the folders in " + p.root;
        return nullptr;
    }
    {
        auto store = makeQtSettingsStore(p.settings);
        if (!writeDemoSettings(*store, p.data, options.smtp)) {
            error = "cannot write " + p.settings;
            return nullptr;
        }
    }
    s->devices_ = std::make_unique<DemoDevices>(DevicePaths{p.devices, p.vendorDb, p.data},
                                                s->schedule_, s->startMs_);
    if (!s->devices_->writeHistory(error))
        return nullptr;
    ::setenv("ORVANA_DEMO_DEVICES", p.devices.c_str(), 1);
    cleanup.root.clear();
    return s;
}

DemoSession::~DemoSession() {
    delete timer_.data();
}

double DemoSession::elapsed() const {
    return static_cast<double>(clock_->nowMs() - startMs_) / 1000.0;
}

std::function<double()> DemoSession::elapsedFunction() const {
    std::shared_ptr<Clock> clock = makeSystemClock();
    return
        [clock, start = startMs_] { return static_cast<double>(clock->nowMs() - start) / 1000.0; };
}

std::vector<std::string> DemoSession::libraryFolders() {
    std::vector<std::string> folders;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        folders.push_back((exe.parent_path().parent_path() / "lib/orvana/demo").string());
#ifdef ORVANA_DEMO_BUILD_LIB_DIR
    folders.push_back(ORVANA_DEMO_BUILD_LIB_DIR);
#endif
    return folders;
}

void DemoSession::onSound(std::function<void(bool loud)> fn) {
    devices_->onSound(std::move(fn));
}

void DemoSession::start() {
    devices_->advance(elapsed());
    delete timer_.data();
    timer_ = new QTimer(QCoreApplication::instance());
    timer_->setInterval(1000);
    QObject::connect(timer_.data(), &QTimer::timeout, timer_.data(),
                     [this] { devices_->advance(elapsed()); });
    timer_->start();
}

std::vector<std::string> DemoSession::introLines() const {
    std::vector<std::string> lines = {
        "デモモード：模擬の装置ですべての監視を動かします（あなたの設定には触れません）。",
        "  設定ファイル：" + paths_.settings,
        "  データフォルダ：" + paths_.data,
    };
    if (options_.smtp.empty())
        lines.push_back("  メール：" + paths_.maildir +
                        " に1通ずつファイルで届きます（Maildir 形式。メールソフトで開けます）");
    else
        lines.push_back("  メール：SMTP サーバー " + options_.smtp +
                        " へ送ります（認証・TLS なし）");
    lines.push_back("  模擬の温湿度計・放射線カウンター：" + paths_.devices +
                    "、電力データベース：" + paths_.vendorDb);
    if (schedule_.timeScale() != 1.0)
        lines.push_back(strprintf("  時間の速さ：%g 倍", schedule_.timeScale()));
    const auto at = [this](EpisodeKind k) {
        return static_cast<int>(std::max(0.0, schedule_.episode(k).first));
    };
    lines.push_back(strprintf(
        "  予定：大きな音 %d 秒後、停電 %d 秒後、高温 %d 秒後。放射線と電力は初めから高めです。",
        at(EpisodeKind::SoundBurst), at(EpisodeKind::MainsLoss), at(EpisodeKind::HighTemperature)));
    return lines;
}

std::string DemoSession::farewellLine() const {
    return "デモのフォルダ " + paths_.root +
           " は残してあります（不要になったら削除してください）。";
}

}  // namespace orvana::demo
