#include "demo/demo_devices.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "core/status_text.h"

namespace orvana::demo {
namespace {

TimeT minuteOf(TimeT t) {
    return t - ((t % 60) + 60) % 60;
}

std::string csvTime(TimeT t) {
    const LocalTime l = toLocal(t);
    return strprintf("%d,%d,%d,%d,%d,%d", l.year, l.month, l.day, l.hour, l.minute, l.second);
}

// An open database that closes itself.
struct Db {
    sqlite3* handle = nullptr;
    ~Db() {
        if (handle)
            sqlite3_close(handle);
    }
};

bool exec(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

}  // namespace

bool replaceFile(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            ::unlink(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

DemoDevices::DemoDevices(DevicePaths paths, Schedule schedule, std::int64_t startMs)
    : paths_(std::move(paths)),
      schedule_(schedule),
      startMs_(startMs),
      startMinute_(minuteOf(static_cast<TimeT>(startMs / 1000))),
      nextRow_(startMinute_) {}

double DemoDevices::rowPowerKw(TimeT minuteStart) const {
    // The minute's mean: the schedule in its middle.
    return schedule_.powerKw(static_cast<double>(minuteStart) + 30.0 - startMs_ / 1000.0);
}

bool DemoDevices::writeHistory(std::string& error) {
    const double start = startMs_ / 1000.0;
    std::string temperature, radiation;
    // Each record's key is the end of its minute; its value the minute's.
    for (int i = kHistoryMinutes - 1; i >= 0; --i) {
        const TimeT key = startMinute_ - 60 * i;
        const double t = static_cast<double>(key) - 30.0 - start;
        temperature +=
            csvTime(key) + strprintf(",%g,%g\r\n", schedule_.temperature(t), schedule_.humidity(t));
        radiation += csvTime(key) + strprintf(",%g\r\n", std::round(schedule_.countsPerMinute(t)));
    }
    if (!replaceFile(paths_.dataDir + "/TemperatureData.csv", temperature) ||
        !replaceFile(paths_.dataDir + "/GeigerData.csv", radiation)) {
        error = "cannot write the data files in " + paths_.dataDir;
        return false;
    }
    {
        Db db;
        if (sqlite3_open(paths_.vendorDb.c_str(), &db.handle) != SQLITE_OK) {
            error = "cannot create " + paths_.vendorDb;
            return false;
        }
        // The vendor's table as the power monitor reads it: by position.
        if (!exec(db.handle,
                  "CREATE TABLE IF NOT EXISTS energy_history (year INTEGER, month INTEGER, "
                  "day INTEGER, hour INTEGER, minute INTEGER, sensor INTEGER, energy REAL, "
                  "cost REAL)",
                  error))
            return false;
    }
    if (!writeRows(startMinute_ - 60 * kHistoryMinutes, startMinute_, error))
        return false;
    lastT_ = 0;
    if (!replaceFile(paths_.devices + "/counter", "0\n") || !writeMeter(0)) {
        error = "cannot write the devices in " + paths_.devices;
        return false;
    }
    return true;
}

bool DemoDevices::writeRows(TimeT fromMinute, TimeT toMinute, std::string& error) {
    if (fromMinute >= toMinute)
        return true;
    Db db;
    if (sqlite3_open_v2(paths_.vendorDb.c_str(), &db.handle, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        error = "cannot open " + paths_.vendorDb;
        return false;
    }
    // The power monitor reads with a short wait; so does the writer.
    sqlite3_busy_timeout(db.handle, 2000);
    if (!exec(db.handle, "BEGIN", error))
        return false;
    for (TimeT m = fromMinute; m < toMinute; m += 60) {
        const LocalTime l = toLocal(m);
        const std::string sql =
            strprintf("INSERT INTO energy_history VALUES (%d,%d,%d,%d,%d,1,%.3f,0)", l.year,
                      l.month, l.day, l.hour, l.minute, energyOf(rowPowerKw(m)));
        if (!exec(db.handle, sql.c_str(), error)) {
            sqlite3_exec(db.handle, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    return exec(db.handle, "COMMIT", error);
}

bool DemoDevices::writeMeter(double t) {
    return replaceFile(paths_.devices + "/meter",
                       strprintf("%.1f %.1f\n", schedule_.temperature(t), schedule_.humidity(t)));
}

bool DemoDevices::writeCounter(double t) {
    const double dt = t - lastT_;
    if (dt <= 0)
        return true;
    lastT_ = t;
    countCarry_ += schedule_.countsPerMinute(t) * dt / 60.0;
    const double whole = std::floor(countCarry_);
    if (whole < 1)
        return true;
    // Counted on from what the file holds: the counter may have been cleared.
    const std::string path = paths_.devices + "/counter";
    unsigned long long count = 0;
    std::ifstream in(path);
    in >> count;
    if (!replaceFile(path, strprintf("%llu\n", (count + static_cast<unsigned long long>(whole)) &
                                                   0xFFFFFFFFull)))
        return false;
    countCarry_ -= whole;
    return true;
}

void DemoDevices::advance(double t) {
    if (sound_)
        sound_(schedule_.active(EpisodeKind::SoundBurst, t));
    std::string error;
    bool ok = writeMeter(t) && writeCounter(t);
    if (!ok)
        error = "cannot write the devices in " + paths_.devices;
    // Every minute completed since the last row.
    const TimeT now = static_cast<TimeT>(std::floor(startMs_ / 1000.0 + t));
    const TimeT upTo = minuteOf(now);
    if (upTo > nextRow_) {
        if (writeRows(nextRow_, upTo, error))
            nextRow_ = upTo;
        else
            ok = false;
    }
    error_ = ok ? std::string() : error;
}

}  // namespace orvana::demo
