// The Debian package as a user gets it. packaging.build has made it and
// unpacked it with dpkg-deb -x into a root of its own; here its programs run
// from that root and its file list and control fields are checked.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using orvana::testing::ChildProgram;
using orvana::testing::TempDir;

const std::string kDeb = ORVANA_PACKAGE_DEB;
const std::string kRoot = ORVANA_PACKAGE_ROOT;
const std::string kProgram = kRoot + "/usr/bin/orvana";
const std::string kProbe = kRoot + "/usr/bin/orvana-probe";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct CommandResult {
    int code = -1;
    std::string out;  // standard output and standard error
};

// A shell command line; its exit code and everything it printed.
CommandResult sh(const std::string& command) {
    CommandResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---------------------------------------------------------------------------
// The unpacked programs.

TEST(UnpackedPackage, ProgramShowsItsVersion) {
    const CommandResult r = sh("env -i PATH=/usr/bin:/bin " + quote(kProgram) + " --version");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, "orvana " ORVANA_VERSION "\n");
}

TEST(UnpackedPackage, ProgramStartsHeadlessAndEndsCleanlyOnCtrlC) {
    TempDir home;
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    std::ofstream(home / "config.ini")
        << "[Setting]\nDATA_DIR=" << home.path() << "/data\nUSE_VOLUME=0\nUSE_CAMERA=0\n";
    ChildProgram p(kProgram, {"--headless"},
                   {
                       "HOME=" + home.path(),
                       "XDG_RUNTIME_DIR=" + home.path() + "/run",
                       "XDG_CONFIG_HOME=" + home.path() + "/config",
                       "XDG_STATE_HOME=" + home.path() + "/state",
                       "ORVANA_CONFIG=" + home.path() + "/config.ini",
                       "LANG=C.UTF-8",
                       "PATH=/usr/bin:/bin",
                   });
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForOutput("利用方法：\n", std::chrono::seconds(30))) << p.output();
    EXPECT_EQ(p.output().rfind("*--------------------------------------------*\n", 0), 0u)
        << p.output();
    p.signal(SIGINT);
    EXPECT_EQ(p.waitExit(std::chrono::seconds(30)), 0) << p.output();
    EXPECT_TRUE(contains(p.output(), "メール：送信しない\n")) << p.output();
    EXPECT_TRUE(contains(p.output(), "監視を終了しました。\n")) << p.output();
    // It kept its log in the data folder and saved its settings at the end.
    bool logged = false;
    if (fs::is_directory(home / "data"))
        for (const auto& e : fs::directory_iterator(home / "data"))
            logged = logged || e.path().extension() == ".log";
    EXPECT_TRUE(logged);
    EXPECT_TRUE(contains(readFile(home / "config.ini"), "[Placement]"));
}

// The probe gives the device libraries' bare file names to the loader's
// search first; from the unpacked root the only place that holds them is the
// package's own library folder, reached through the probe's RUNPATH. The
// dynamic loader's record says which file it really loaded.
TEST(UnpackedPackage, ProbeFindsTheSimulatedDevicesThroughThePackagedLibraries) {
    TempDir tmp;
    const CommandResult r =
        sh("env -i PATH=/usr/bin:/bin LD_LIBRARY_PATH=" + quote(ORVANA_SIMHID_DIR) +
           " SIMHID_DEVICES=1774:1001:/dev/sim/meter0,1774:1002:/dev/sim/counter0"
           " LD_DEBUG=libs LD_DEBUG_OUTPUT=" +
           quote(tmp / "ld") + " " + quote(kProbe));
    EXPECT_EQ(r.code, 0) << r.out;
    for (const char* text : {"meter 1: /dev/sim/meter0\n", "version: 01/02/03\n",
                             "temperature: 25.00 C, humidity: 33.7 %\n",
                             "counter 1: /dev/sim/counter0\n", "count: 10000, time: 60\n"})
        EXPECT_TRUE(contains(r.out, text)) << "lacks \"" << text << "\":\n" << r.out;

    std::string record;
    for (const auto& e : fs::directory_iterator(tmp.path()))
        record += readFile(e.path().string());
    const fs::path libDir = fs::canonical(kRoot + "/usr/lib/orvana");
    for (const std::string lib : {"libkelvaro.so", "libruvasko.so"}) {
        std::smatch m;
        const std::regex init("calling init: (\\S*)/" + lib + "\n");
        ASSERT_TRUE(std::regex_search(record, m, init)) << lib << " was not loaded";
        EXPECT_EQ(fs::canonical(m[1].str()), libDir) << lib;
    }
}

// The program looks for the meter's and the counter's libraries beside its
// own libraries first and only then through the loader's search, where
// LD_LIBRARY_PATH comes first. Here that search path offers other files of
// the same names (the stand-in libraries) before the simulated hidapi: the
// program must take the packaged ones, and with them find the simulated
// meter and counter.
TEST(UnpackedPackage, ProgramTakesThePackagedDeviceLibrariesBeforeTheSearchPath) {
    TempDir home;
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    std::ofstream(home / "config.ini")
        << "[Setting]\nDATA_DIR=" << home.path()
        << "/data\nUSE_VOLUME=0\nUSE_CAMERA=0\nUSE_TEMPERATURE=1\nUSE_GEIGER=1\nUSE_OWL=0\n";
    ChildProgram p(
        kProgram, {"--headless"},
        {
            "HOME=" + home.path(),
            "XDG_RUNTIME_DIR=" + home.path() + "/run",
            "XDG_CONFIG_HOME=" + home.path() + "/config",
            "XDG_STATE_HOME=" + home.path() + "/state",
            "ORVANA_CONFIG=" + home.path() + "/config.ini",
            "ORVANA_SYSFS=" + home.path() + "/sys",
            std::string("LD_LIBRARY_PATH=") + ORVANA_STANDIN_DIR + ":" + ORVANA_SIMHID_DIR,
            "SIMHID_DEVICES=1774:1001:/dev/sim/meter0,1774:1002:/dev/sim/counter0",
            "LD_DEBUG=libs",
            "LD_DEBUG_OUTPUT=" + home.path() + "/ld",
            "LANG=C.UTF-8",
            "PATH=/usr/bin:/bin",
        });
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForOutput("放射線：", std::chrono::seconds(30))) << p.output();
    ASSERT_TRUE(p.waitForOutput("\n", std::chrono::seconds(30), p.output().find("放射線：")));
    EXPECT_TRUE(contains(p.output(), "温湿度：監視中\n")) << p.output();
    EXPECT_TRUE(contains(p.output(), "放射線：監視中\n")) << p.output();
    p.signal(SIGINT);
    EXPECT_EQ(p.waitExit(std::chrono::seconds(30)), 0) << p.output();

    std::string record;
    for (const auto& e : fs::directory_iterator(home.path()))
        if (e.path().filename().string().rfind("ld.", 0) == 0)
            record += readFile(e.path().string());
    const fs::path libDir = fs::canonical(kRoot + "/usr/lib/orvana");
    for (const std::string lib : {"libkelvaro.so", "libruvasko.so"}) {
        std::smatch m;
        const std::regex init("calling init: (\\S*)/" + lib + "\n");
        ASSERT_TRUE(std::regex_search(record, m, init)) << lib << " was not loaded";
        EXPECT_EQ(fs::canonical(m[1].str()), libDir) << lib;
    }
}

// ---------------------------------------------------------------------------
// What the package holds.

struct Entry {
    std::string mode;
    std::string owner;
};

// Every file of the package (directories left out), from dpkg-deb -c.
std::map<std::string, Entry> packageFiles() {
    std::map<std::string, Entry> files;
    const CommandResult r = sh("dpkg-deb -c " + quote(kDeb));
    EXPECT_EQ(r.code, 0) << r.out;
    for (const std::string& line : lines(r.out)) {
        std::istringstream in(line);
        std::string mode, owner, size, date, time, path;
        in >> mode >> owner >> size >> date >> time >> path;
        if (mode.empty() || mode[0] == 'd')
            continue;
        files[path.substr(path.rfind("./", 0) == 0 ? 1 : 0)] = {mode, owner};
    }
    return files;
}

TEST(PackageContents, HoldsTheInstalledFilesAndNothingElse) {
    const std::map<std::string, std::string> expected = {
        {"/usr/bin/orvana", "-rwxr-xr-x"},
        {"/usr/bin/orvana-probe", "-rwxr-xr-x"},
        {"/usr/lib/orvana/libkelvaro.so", "-rw-r--r--"},
        {"/usr/lib/orvana/libruvasko.so", "-rw-r--r--"},
        {"/usr/lib/orvana/demo/libkelvaro.so", "-rw-r--r--"},
        {"/usr/lib/orvana/demo/libruvasko.so", "-rw-r--r--"},
        {"/usr/share/applications/orvana.desktop", "-rw-r--r--"},
        {"/usr/lib/systemd/user/orvana.service", "-rw-r--r--"},
        {"/usr/lib/udev/rules.d/70-orvana.rules", "-rw-r--r--"},
        {"/usr/share/doc/orvana/manual.html", "-rw-r--r--"},
        {"/usr/share/man/man1/orvana.1.gz", "-rw-r--r--"},
    };
    const auto files = packageFiles();
    for (const auto& [path, mode] : expected) {
        const auto it = files.find(path);
        if (it == files.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        EXPECT_EQ(it->second.mode, mode) << path;
        EXPECT_EQ(it->second.owner, "root/root") << path;
    }
    for (const auto& [path, entry] : files)
        EXPECT_TRUE(expected.count(path)) << "not meant to be in the package: " << path;
}

std::string controlField(const std::string& name) {
    const CommandResult r = sh("dpkg-deb -f " + quote(kDeb) + " " + name);
    EXPECT_EQ(r.code, 0) << r.out;
    std::string v = r.out;
    while (!v.empty() && v.back() == '\n')
        v.pop_back();
    return v;
}

// "a (>= 1), b | c" -> {"a (>= 1)", "b | c"}
std::vector<std::string> relations(const std::string& field) {
    std::vector<std::string> out;
    std::istringstream in(field);
    for (std::string item; std::getline(in, item, ',');) {
        const auto b = item.find_first_not_of(' ');
        out.push_back(b == std::string::npos ? std::string() : item.substr(b));
    }
    return out;
}

bool hasRelation(const std::vector<std::string>& list, const std::string& package) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& r) {
        return r == package || r.rfind(package + " ", 0) == 0;
    });
}

TEST(PackageContents, ControlFieldsAndDependencies) {
    EXPECT_EQ(fs::path(kDeb).filename(), "orvana_" ORVANA_VERSION "_" ORVANA_PACKAGE_ARCH ".deb");
    EXPECT_EQ(controlField("Package"), "orvana");
    EXPECT_EQ(controlField("Version"), ORVANA_VERSION);
    EXPECT_EQ(controlField("Architecture"), ORVANA_PACKAGE_ARCH);

    const std::string depends = controlField("Depends");
    const auto deps = relations(depends);
    // Found by dpkg-shlibdeps in what the programs and the device libraries
    // link; hidapi only the device libraries do.
    for (const char* lib :
         {"libc6", "libqt6widgets6", "libqt6dbus6", "libgstreamer1.0-0",
          "libgstreamer-plugins-base1.0-0", "libcurl4", "libsqlite3-0", "libhidapi-hidraw0"})
        EXPECT_TRUE(hasRelation(deps, lib)) << lib << " not in: " << depends;
    // Needed at run time without being linked.
    for (const char* item :
         {"gstreamer1.0-plugins-base", "gstreamer1.0-plugins-good",
          "fonts-noto-cjk | fonts-ipafont-gothic", "qt6-translations-l10n", "ca-certificates"})
        EXPECT_TRUE(hasRelation(deps, item)) << item << " not in: " << depends;
    // Every relation is well formed: nothing empty from a stray comma.
    for (const std::string& d : deps)
        EXPECT_FALSE(d.empty()) << depends;
    const auto recommends = relations(controlField("Recommends"));
    EXPECT_TRUE(hasRelation(recommends, "gstreamer1.0-libav"));
    EXPECT_TRUE(hasRelation(recommends, "gstreamer1.0-plugins-bad"));

    // This system's package manager can install it: every name resolves.
    const CommandResult apt = sh("apt-get -s -o Debug::NoLocking=1 install " + quote(kDeb));
    EXPECT_EQ(apt.code, 0) << apt.out;
    EXPECT_TRUE(contains(apt.out, "Inst orvana ")) << apt.out;
}

// The program looks for the device libraries in <its folder>/../lib/orvana
// first and then through the loader (RUNPATH); the probe through the loader.
TEST(PackageContents, ProgramsFindTheirLibrariesOnlyInThePackage) {
    for (const std::string& bin : {kProgram, kProbe}) {
        const CommandResult r = sh("readelf -d " + quote(bin));
        ASSERT_EQ(r.code, 0) << r.out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\\(RUNPATH\\)[^\\[]*\\[([^\\]]*)\\]")))
            << bin << ":\n"
            << r.out;
        EXPECT_EQ(m[1].str(), "$ORIGIN/../lib/orvana") << bin;
        EXPECT_FALSE(contains(r.out, "(RPATH)")) << bin;
    }
    EXPECT_TRUE(fs::exists(fs::path(kProgram).parent_path() / "../lib/orvana/libkelvaro.so"));
    EXPECT_TRUE(fs::exists(fs::path(kProgram).parent_path() / "../lib/orvana/libruvasko.so"));
    EXPECT_EQ(fs::path(kProgram).parent_path(), fs::path(kProbe).parent_path());
}

TEST(PackageContents, ServiceRunsThePackagedProgramHeadlessAndRestartsOnFailure) {
    const std::string unit = readFile(kRoot + "/usr/lib/systemd/user/orvana.service");
    const auto all = lines(unit);
    const auto has = [&](const std::string& line) {
        return std::find(all.begin(), all.end(), line) != all.end();
    };
    EXPECT_TRUE(has("ExecStart=/usr/bin/orvana --headless")) << unit;
    EXPECT_TRUE(has("Restart=on-failure")) << unit;
    EXPECT_TRUE(has("WantedBy=default.target")) << unit;
    EXPECT_FALSE(contains(unit, "@")) << unit;
}

TEST(PackageContents, UdevRuleGivesTheSeatUserTheMeterAndTheCounter) {
    const std::string name = "70-orvana.rules";
    // uaccess tags are turned into access rights by 73-seat-late.rules, so
    // the rule must come before it.
    EXPECT_LT(name, "73-seat-late.rules");
    std::set<std::string> products;
    for (const std::string& line : lines(readFile(kRoot + "/usr/lib/udev/rules.d/" + name))) {
        if (line.empty() || line[0] == '#')
            continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(
            line, m,
            std::regex("SUBSYSTEM==\"hidraw\", ATTRS\\{idVendor\\}==\"1774\", "
                       "ATTRS\\{idProduct\\}==\"([0-9a-f]{4})\", TAG\\+=\"uaccess\"")))
            << line;
        products.insert(m[1].str());
    }
    EXPECT_EQ(products, (std::set<std::string>{"1001", "1002"}));
}

// dpkg runs the package's postinst as root on installation: it applies the
// udev rule to instruments already plugged in, and a udevadm that fails
// (no udev in a container or chroot) or is missing must not fail the
// installation.
TEST(PackageContents, InstallationAppliesTheUdevRuleAndSurvivesWithoutUdev) {
    TempDir tmp;
    const CommandResult extract = sh("dpkg-deb -e " + quote(kDeb) + " " + quote(tmp / "control"));
    ASSERT_EQ(extract.code, 0) << extract.out;
    const std::string postinst = tmp / "control/postinst";
    EXPECT_EQ(fs::status(postinst).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);

    fs::create_directories(tmp / "bin");
    std::ofstream(tmp / "bin/udevadm")
        << "#!/bin/sh\necho \"$*\" >> " << quote(tmp / "calls") << "\nexit 1\n";
    fs::permissions(tmp / "bin/udevadm", fs::perms::owner_all);
    const CommandResult failing = sh("env -i PATH=" + quote(tmp / "bin") +
                                     ":/usr/bin:/bin /bin/sh " + quote(postinst) + " configure");
    EXPECT_EQ(failing.code, 0) << failing.out;
    EXPECT_EQ(readFile(tmp / "calls"),
              "control --reload-rules\ntrigger --action=change --subsystem-match=hidraw\n");

    fs::create_directories(tmp / "empty");
    const CommandResult missing =
        sh("env -i PATH=" + quote(tmp / "empty") + " /bin/sh " + quote(postinst) + " configure");
    EXPECT_EQ(missing.code, 0) << missing.out;
}

TEST(PackageContents, DesktopFileIsValidAndStartsTheProgram) {
    const std::string file = kRoot + "/usr/share/applications/orvana.desktop";
    const CommandResult r = sh("desktop-file-validate " + quote(file));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_FALSE(contains(r.out, "error")) << r.out;
    EXPECT_FALSE(contains(r.out, "warning")) << r.out;
    const auto all = lines(readFile(file));
    EXPECT_NE(std::find(all.begin(), all.end(), "Exec=orvana"), all.end());
}

// The page's OPTIONS and ENVIRONMENT come from the program's help text at
// install time: every option and variable of the packaged program is there,
// and the page formats without a warning.
TEST(PackageContents, ManualPageCoversEveryOptionAndVariableOfTheProgram) {
    const std::string gz = kRoot + "/usr/share/man/man1/orvana.1.gz";
    const CommandResult page = sh("gzip -dc " + quote(gz));
    ASSERT_EQ(page.code, 0) << page.out;
    const CommandResult help = sh("env -i PATH=/usr/bin:/bin " + quote(kProgram) + " --help");
    ASSERT_EQ(help.code, 0) << help.out;

    int options = 0;
    int variables = 0;
    const std::regex entry("^  ((-|ORVANA_)\\S*)");
    for (const std::string& line : lines(help.out)) {
        std::smatch m;
        if (!std::regex_search(line, m, entry))
            continue;
        (m[2] == "-" ? options : variables)++;
        std::string name = std::regex_replace(m[1].str(), std::regex("-"), "\\-");
        EXPECT_TRUE(contains(page.out, "\n.B " + name + "\n") ||
                    contains(page.out, "\n.BI \"" + name + " \""))
            << name << " missing from the page";
    }
    EXPECT_GE(options, 3);
    EXPECT_GE(variables, 10);
    EXPECT_TRUE(contains(page.out, "/usr/share/doc/orvana/manual.html"));
    EXPECT_TRUE(contains(page.out, "/usr/lib/systemd/user/orvana.service"));

    const CommandResult lint = sh("gzip -dc " + quote(gz) + " | groff -k -man -Tutf8 -ww -z");
    EXPECT_EQ(lint.code, 0) << lint.out;
    EXPECT_EQ(lint.out, "");
}

}  // namespace
