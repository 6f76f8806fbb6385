// A picture of the demo for a person to look at: the program started with a
// display (run under Xvfb), hurried with --time-scale 10, photographed once
// the first alarms are on its event list. Writes the whole screen and the
// main window as PNG files into the build folder and prints their paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/mail/mail_test_support.h"
#include "tests/support/child_program.h"

namespace orvana::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvana::testing::ChildProgram;
using orvana::testing::runCommand;
using orvana::testing::TempDir;

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int field(const std::string& text, const std::string& name) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(name + R"(:\s+(-?\d+))")))
        return -1;
    return std::stoi(m[1]);
}

TEST(DemoScreenshot, TheMainWindowOfTheDemoWithItsFirstAlarms) {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display) << "run under xvfb-run";
    const char* xauth = std::getenv("XAUTHORITY");
    TempDir home;
    fs::create_directories(home.file("run"));
    fs::permissions(home.file("run"), fs::perms::owner_all);
    fs::create_directories(home.file("tmp"));
    std::vector<std::string> env = {"HOME=" + home.path(),
                                    "XDG_RUNTIME_DIR=" + home.file("run"),
                                    "XDG_CONFIG_HOME=" + home.file("config"),
                                    "TMPDIR=" + home.file("tmp"),
                                    "DISPLAY=" + std::string(display),
                                    "QT_QPA_PLATFORM=xcb",
                                    "TZ=Asia/Tokyo",
                                    "LANG=C.UTF-8",
                                    "PATH=/usr/bin:/bin"};
    if (xauth)
        env.push_back("XAUTHORITY=" + std::string(xauth));
    ChildProgram p(ORVANA_BINARY, {"--demo", "--time-scale", "10"}, env);
    ASSERT_TRUE(p.started());
    // With a display the event list is on the console too.
    ASSERT_TRUE(p.waitForOutput(" >>>停電発生<<<\n", 120s)) << p.output();
    ASSERT_TRUE(p.waitForOutput(" >>>温度異常発生<<<\n", 120s)) << p.output();
    // The windows repaint their graphs once a second and after each line.
    ASSERT_TRUE(
        p.waitForOutput("メール送信が完了しました", 60s, p.output().find(" >>>温度異常発生<<<\n")));

    const std::string dir = ORVANA_SCREENSHOT_DIR;
    fs::create_directories(dir);
    const std::string screen = dir + "/demo-screen.png";
    const std::string window = dir + "/demo-main-window.png";
    fs::remove(screen);
    fs::remove(window);
    const std::string info = home.file("xwininfo.txt");
    ASSERT_EQ(runCommand({"/bin/sh", "-c",
                          "xwininfo -name '安全監視システム(orvana)' > '" + info + "' 2>&1"}),
              0)
        << slurp(info);
    const std::string geometry = slurp(info);
    const int x = field(geometry, "Absolute upper-left X"),
              y = field(geometry, "Absolute upper-left Y");
    const int w = field(geometry, "Width"), h = field(geometry, "Height");
    ASSERT_TRUE(x >= 0 && y >= 0 && w > 100 && h > 100) << geometry;

    const std::string grab = "ffmpeg -v error -y -f x11grab -draw_mouse 0 -i '" +
                             std::string(display) + "' -frames:v 1 ";
    ASSERT_EQ(runCommand({"/bin/sh", "-c", grab + "'" + screen + "'"}), 0);
    ASSERT_EQ(runCommand({"/bin/sh", "-c",
                          grab + "-vf crop=" + std::to_string(w) + ":" + std::to_string(h) + ":" +
                              std::to_string(x) + ":" + std::to_string(y) + " '" + window + "'"}),
              0);
    EXPECT_EQ(p.stop(60s), 0);
    EXPECT_GT(fs::file_size(screen), 10000u);
    EXPECT_GT(fs::file_size(window), 5000u);
    std::printf("screenshot of the screen: %s\nscreenshot of the main window: %s\n", screen.c_str(),
                window.c_str());
}

}  // namespace
}  // namespace orvana::demo
