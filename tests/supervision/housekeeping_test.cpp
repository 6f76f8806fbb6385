// Housekeeping: which files go, age from the creation time, the "Time"
// section, and the thread's pass timing and stop in virtual time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "core/app_settings.h"
#include "supervision/cleanup_thread.h"
#include "tests/supervision/supervision_fixtures.h"

namespace orvana::testing {
namespace {

namespace fs = std::filesystem;

class MapFileTimes final : public FileTimes {
  public:
    std::optional<TimeT> creationTime(const std::string& path) const override {
        std::lock_guard lock(mutex);
        auto it = times.find(fs::path(path).filename().string());
        if (it == times.end())
            return std::nullopt;
        return it->second;
    }
    void set(const std::string& name, TimeT t) {
        std::lock_guard lock(mutex);
        times[name] = t;
    }
    mutable std::mutex mutex;
    std::map<std::string, TimeT> times;
};

bool exists(const ScratchDir& d, const std::string& name) {
    std::error_code ec;
    return fs::symlink_status(d / name, ec).type() != fs::file_type::not_found;
}

TEST(DeleteOldFiles, RetentionZeroKeepsFiftyNineMinutesDeletesSixty) {
    ScratchDir d;
    writeFile(d / "2026年01月14日10時00分00秒#win.jpg", "x");
    auto times = makeStatxFileTimes();
    const auto born = times->creationTime(d / "2026年01月14日10時00分00秒#win.jpg");
    ASSERT_TRUE(born);
    // The virtual clock is set ahead of the file's real creation time.
    EXPECT_EQ(DeleteOldFiles(d.path(), "*#*.jpg", *born + 59 * 60 + 59, 1, *times), 0);
    EXPECT_TRUE(exists(d, "2026年01月14日10時00分00秒#win.jpg"));
    EXPECT_EQ(DeleteOldFiles(d.path(), "*#*.jpg", *born + 60 * 60, 1, *times), 1);
    EXPECT_FALSE(exists(d, "2026年01月14日10時00分00秒#win.jpg"));
}

TEST(DeleteOldFiles, OnlyMatchingRegularFilesDirectlyInTheFolder) {
    ScratchDir d;
    const TimeT now = 1800000000;
    MapFileTimes times;
    const TimeT ancient = now - 10 * 365 * 86400LL;
    for (const char* name :
         {"a#Cam0.jpg", "b.wav", "c.3gp", "TemperatureData.csv", "2026年01月14日.log", "plain.jpg",
          "note#1.txt", "x.jpg.bak", "B.WAV", "d#dir.jpg", "link#x.jpg", "target.dat"}) {
        times.set(name, ancient);
    }
    for (const char* name :
         {"a#Cam0.jpg", "b.wav", "c.3gp", "TemperatureData.csv", "2026年01月14日.log", "plain.jpg",
          "note#1.txt", "x.jpg.bak", "B.WAV", "target.dat"})
        writeFile(d / name, "x");
    fs::create_directory(d / "d#dir.jpg");
    fs::create_symlink(d / "target.dat", d / "link#x.jpg");
    writeFile(d / "sub/deep#Cam1.jpg", "x");
    times.set("deep#Cam1.jpg", ancient);

    int deleted = 0;
    for (const char* p : kCleanPatterns)
        deleted += DeleteOldFiles(d.path(), p, now, 1, times);
    EXPECT_EQ(deleted, 3);
    for (const char* gone : {"a#Cam0.jpg", "b.wav", "c.3gp"})
        EXPECT_FALSE(exists(d, gone)) << gone;
    for (const char* kept :
         {"TemperatureData.csv", "2026年01月14日.log", "plain.jpg", "note#1.txt", "x.jpg.bak",
          "B.WAV", "d#dir.jpg", "link#x.jpg", "target.dat", "sub/deep#Cam1.jpg"})
        EXPECT_TRUE(exists(d, kept)) << kept;

    EXPECT_EQ(DeleteOldFiles(d / "missing", "*.wav", now, 1, times), 0);
    EXPECT_EQ(DeleteOldFiles("", "*.wav", now, 1, times), 0);
}

TEST(DeleteOldFiles, AgeCountsFromCreationNotModification) {
    ScratchDir d;
    writeFile(d / "rec.wav", "x");
    writeFile(d / "old.wav", "x");
    if (!fileHasBirthTime(d / "rec.wav"))
        GTEST_SKIP() << "this file system records no birth time";
    auto times = makeStatxFileTimes();
    const TimeT born = *times->creationTime(d / "rec.wav");
    auto setMtime = [&](const std::string& path, TimeT t) {
        const timespec ts[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
    };
    // Created 20 days before "now", modified yesterday: gone under 15 days.
    const TimeT now = born + 20 * 86400;
    setMtime(d / "rec.wav", now - 86400);
    EXPECT_EQ(DeleteOldFiles(d.path(), "rec.wav", now, 360, *times), 1);
    // Created 59 minutes ago, modification time set far back: kept.
    const TimeT born2 = *times->creationTime(d / "old.wav");
    setMtime(d / "old.wav", born2 - 30 * 86400);
    EXPECT_EQ(DeleteOldFiles(d.path(), "old.wav", born2 + 59 * 60, 1, *times), 0);
    EXPECT_TRUE(exists(d, "old.wav"));
}

// Runs the thread slice by slice: waits until it sleeps its next 100 ms on
// the virtual clock, then lets that slice pass.
class SliceDriver {
  public:
    explicit SliceDriver(VirtualClock& c) : clock_(c) {}
    void slices(int n, const std::function<void()>& each = {}) {
        for (int i = 0; i < n; ++i) {
            waitAsleep();
            clock_.advance(std::chrono::milliseconds(100));
            ++expected_;
            if (each) {
                waitAsleep();  // the pass after the 600th slice has finished
                each();
            }
        }
    }
    void waitAsleep() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(clock_.sleepCalls() >= expected_ && clock_.sleepers() >= 1)) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "thread never slept";
            std::this_thread::yield();
        }
    }

  private:
    VirtualClock& clock_;
    long expected_ = 1;
};

class Housekeeping : public ::testing::Test {
  protected:
    Housekeeping() : clock(fromLocal(2026, 1, 14, 12, 0, 0)), worker(clock, store, times) {
        worker.setInputs(data.path(), 0);
    }
    ~Housekeeping() override {
        clock.setAutoAdvance(true);  // lets a sleeping thread see the stop
        worker.stop();
    }
    ScratchDir data;
    VirtualClock clock;
    MemorySettingsStore store;
    MapFileTimes times;
    CleanUpThread worker;
};

TEST_F(Housekeeping, FirstPassAfterSixtySecondsThenEveryMinute) {
    const TimeT start = clock.now();
    writeFile(data / "a#win.jpg", "x");
    writeFile(data / "b#win.jpg", "x");
    writeFile(data / "c.wav", "x");
    writeFile(data / "OwlData.csv", "x");
    // At the first pass (start + 60 s) a is 60 min old, b 59 min, c 61 min.
    times.set("a#win.jpg", start + 60 - 3600);
    times.set("b#win.jpg", start + 60 - 3599);
    times.set("c.wav", start + 60 - 3660);
    times.set("OwlData.csv", start - 86400 * 400);
    worker.start();
    SliceDriver drive(clock);
    drive.slices(599);
    EXPECT_EQ(worker.passes(), 0);
    EXPECT_EQ(LoadLastAlive(store), 0);
    drive.slices(1);
    drive.waitAsleep();
    EXPECT_EQ(worker.passes(), 1);
    EXPECT_EQ(LoadLastAlive(store), start + 60);
    EXPECT_EQ(store.getInt("Time", "CloseHour", -1), 12);
    EXPECT_EQ(store.getInt("Time", "CloseMinute", -1), 1);
    EXPECT_FALSE(exists(data, "a#win.jpg"));
    EXPECT_TRUE(exists(data, "b#win.jpg"));
    EXPECT_FALSE(exists(data, "c.wav"));
    EXPECT_TRUE(exists(data, "OwlData.csv"));
    // b reaches 60 minutes one pass later.
    drive.slices(600);
    drive.waitAsleep();
    EXPECT_EQ(worker.passes(), 2);
    EXPECT_FALSE(exists(data, "b#win.jpg"));
}

TEST_F(Housekeeping, LastAliveNeverMoreThanAMinuteBehind) {
    worker.start();
    SliceDriver drive(clock);
    drive.slices(600);
    drive.waitAsleep();
    TimeT worst = 0;
    drive.slices(600 * 5, [&] { worst = std::max(worst, clock.now() - LoadLastAlive(store)); });
    EXPECT_LE(worst, 60);
    EXPECT_EQ(worker.passes(), 6);
}

TEST_F(Housekeeping, InputsChangedWhileRunningAndIndexClamped) {
    ScratchDir other;
    writeFile(other / "z.3gp", "x");
    times.set("z.3gp", clock.now() - 17544 * 3600LL + 60);  // 2 years by the next pass
    writeFile(other / "y.3gp", "x");
    times.set("y.3gp", clock.now() - 17544 * 3600LL + 61);  // one second short of it
    worker.setInputs(other.path(), 99);                     // beyond the table: 2 years
    worker.start();
    SliceDriver drive(clock);
    drive.slices(600);
    drive.waitAsleep();
    EXPECT_FALSE(exists(other, "z.3gp"));
    EXPECT_TRUE(exists(other, "y.3gp"));

    // Changed while it runs; a negative index keeps longest, not shortest.
    writeFile(other / "a#1.jpg", "x");
    times.set("a#1.jpg", clock.now() - 2 * 3600);
    worker.setInputs(other.path(), -1);
    drive.slices(600);
    drive.waitAsleep();
    EXPECT_TRUE(exists(other, "a#1.jpg"));
    worker.setInputs(other.path(), 0);
    drive.slices(600);
    drive.waitAsleep();
    EXPECT_FALSE(exists(other, "a#1.jpg"));
}

TEST_F(Housekeeping, StopIsSeenWithinOneSlice) {
    worker.start();
    SliceDriver drive(clock);
    drive.slices(10);
    drive.waitAsleep();
    worker.requestStop();
    EXPECT_TRUE(worker.running());
    clock.advance(std::chrono::milliseconds(100));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (worker.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_FALSE(worker.running());
    worker.stop();  // joins at once
    EXPECT_EQ(worker.passes(), 0);
    // It can be started again.
    worker.start();
    EXPECT_TRUE(worker.running());
}

TEST(HousekeepingOwner, DestructorStopsAndJoinsARunningThread) {
    VirtualClock clock(1700000000);
    MemorySettingsStore store;
    MapFileTimes times;
    auto worker = std::make_unique<CleanUpThread>(clock, store, times);
    worker->start();
    ASSERT_TRUE(clock.waitForSleepers(1));
    clock.setAutoAdvance(true);
    worker.reset();  // returns: the thread saw the stop and was joined
    SUCCEED();
}

}  // namespace
}  // namespace orvana::testing
