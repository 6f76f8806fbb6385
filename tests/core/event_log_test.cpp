#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "core/event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"

namespace orvana {
namespace {

using testing::TempDir;
using testing::VirtualClock;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class EventLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        clock.setNow(fromLocal(2016, 3, 5, 14, 5, 9));
        log.setDataDir(dir.path());
        log.addSink([this](const std::string& l) { lines.push_back(l); });
    }
    std::string today() const { return dir / "2016年03月05日.log"; }

    TempDir dir;
    VirtualClock clock;
    EventLog log{clock};
    std::vector<std::string> lines;
};

TEST_F(EventLogTest, StampModes) {
    log.Report("a", 0);
    log.Report("b", 1);
    log.Report("c", 2);
    log.Report("d", 7, 99);  // unknown mode: no stamp; the third argument has no effect
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1], "14:05:09 b");
    EXPECT_EQ(lines[2], "2016/03/05 14:05:09 c");
    EXPECT_EQ(lines[3], "d");
    EXPECT_EQ(readFile(today()), "a\r\n14:05:09 b\r\n2016/03/05 14:05:09 c\r\nd\r\n");
}

TEST_F(EventLogTest, EmptyLineGoesToTheListButNotTheLog) {
    log.Report("", 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "");
    EXPECT_FALSE(std::filesystem::exists(today()));
    log.Report("x", 0);
    EXPECT_EQ(readFile(today()), "x\r\n");
}

TEST_F(EventLogTest, MidnightStartsANewDailyFile) {
    clock.setNow(fromLocal(2016, 3, 5, 23, 59, 59));
    log.Report("before", 2);
    clock.advanceSeconds(1);
    log.Report("after", 2);
    EXPECT_EQ(readFile(dir / "2016年03月05日.log"), "2016/03/05 23:59:59 before\r\n");
    EXPECT_EQ(readFile(dir / "2016年03月06日.log"), "2016/03/06 00:00:00 after\r\n");
}

TEST_F(EventLogTest, LogBytesAreUtf8WithCrLf) {
    log.Report(">>>停電発生<<<", 0);
    const std::string bytes = readFile(today());
    const std::string expected =
        "\x3E\x3E\x3E\xE5\x81\x9C\xE9\x9B\xBB\xE7\x99\xBA\xE7\x94\x9F\x3C\x3C\x3C\r\n";
    EXPECT_EQ(bytes, expected);
}

TEST_F(EventLogTest, NewlinesInsideALineBecomeCrLfOnce) {
    log.Report("one\r\ntwo\nthree", 0);
    EXPECT_EQ(readFile(today()), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(EventLogTest, AppendsAndNeverTruncates) {
    { std::ofstream(today(), std::ios::binary) << "old\r\n"; }
    log.Report("new", 0);
    EXPECT_EQ(readFile(today()), "old\r\nnew\r\n");
}

TEST_F(EventLogTest, DisabledReportsReachNeitherListNorLog) {
    log.Report("on", 0);
    log.setEnabled(false);
    log.Report("off", 2);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(readFile(today()), "on\r\n");
}

TEST_F(EventLogTest, EmptyDataDirWritesIntoTheCurrentFolder) {
    EventLog bare(clock);
    EXPECT_EQ(bare.logFilePathFor(clock.now()), "2016年03月05日.log");
}

TEST_F(EventLogTest, MissingFolderFailsWithoutCrashing) {
    log.setDataDir(dir / "gone/away");
    EXPECT_FALSE(log.WriteToLogFile("lost"));
    log.Report("still listed", 0);
    EXPECT_EQ(lines.back(), "still listed");
}

TEST_F(EventLogTest, ReportsFromSeveralThreadsNeverInterleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 200; ++i)
                log.WriteToLogFile("thread" + std::to_string(t) + "-" + std::string(100, 'x'));
        });
    for (auto& th : threads)
        th.join();
    std::istringstream in(readFile(today()));
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.size(), 7u + 1 + 100 + 1) << line;  // "threadN-" + 100 x + '\r'
        ++count;
    }
    EXPECT_EQ(count, 800);
}

}  // namespace
}  // namespace orvana
