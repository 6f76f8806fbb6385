// The real program for the camera process tests: a home folder with a fake
// sysfs (network up, no battery), a settings file with camera monitoring,
// notices and an own SMTP server on loopback, and the program started
// headless with a camera list.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/mail/mail_test_support.h"
#include "tests/support/child_program.h"

namespace orvana::camera::testing {

class ProgramHome {
  public:
    ProgramHome() {
        namespace fs = std::filesystem;
        fs::create_directories(dir_.file("run"));
        fs::permissions(dir_.file("run"), fs::perms::owner_all);
        fs::create_directories(dir_.file("sys/class/net/eth0"));
        fs::create_directories(dir_.file("sys/class/power_supply"));
        orvana::testing::writeFile(dir_.file("sys/class/net/eth0/operstate"), "up\n");
        orvana::testing::writeFile(dir_.file("sys/class/net/eth0/flags"), "0x1003\n");
        fs::create_directories(dataDir());
    }

    // Camera monitoring on (every other monitor off), mail on through the
    // own server at hostPort, one recipient of abnormal and management
    // notices; for each (camera, slider position) notices and pictures on.
    void writeSettings(const std::string& hostPort,
                       const std::vector<std::pair<int, int>>& cameras) {
        std::ofstream ini(file("orvana.ini"));
        ini << "[Setting]\nDATA_DIR=" << dataDir() << "\nUSE_VOLUME=0\nUSE_CAMERA=1\n"
            << "USE_POWER_DOWN=0\nUSE_TEMPERATURE=0\nUSE_GEIGER=0\nUSE_OWL=0\nWORKING=1\n"
            << "USE_QUELLOR_SMTP=1\nSMTP=" << hostPort << "\nPORTNUM=0\nENABLESSL=0\n"
            << "FROM=watch@pc.example\nUSER_ADDRESS=1\n"
            << "[UserAddress0]\nAddress=owner@home.example\nIJYOU=1\nKANRI=1\n";
        for (auto [camera, slider] : cameras)
            ini << "[Camera" << camera << "]\nNofity=1\nSaveMotion=1\nSliderPos=" << slider << "\n";
    }

    std::string file(const std::string& name) const { return dir_.file(name); }
    std::string dataDir() const { return dir_.file("data"); }
    const std::string& path() const { return dir_.path(); }

  private:
    orvana::testing::TempDir dir_;
};

// orvana --headless with exactly this environment and ORVANA_CAMERAS.
class Program : public orvana::testing::ChildProgram {
  public:
    Program(const ProgramHome& home, const std::string& cameras)
        : ChildProgram(
              ORVANA_BINARY, {"--headless"},
              {"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.file("run"),
               "XDG_CONFIG_HOME=" + home.file("config"), "XDG_STATE_HOME=" + home.file("state"),
               "ORVANA_CONFIG=" + home.file("orvana.ini"), "ORVANA_SYSFS=" + home.file("sys"),
               "ORVANA_CAMERAS=" + cameras, "ORVANA_STALL_LOG=" + home.file("stall.txt"),
               "TZ=Asia/Tokyo", "LANG=C.UTF-8", "PATH=/usr/bin:/bin"}) {}
};

}  // namespace orvana::camera::testing
