// The CSV data files through which each sensor series survives a restart,
// shared by the temperature/humidity, radiation and power monitors.
//
// A line is the record time in local calendar fields, then the values:
//   temperature  year,month,day,hour,minute,second,temp,humid
//   radiation    year,month,day,hour,minute,second,cpm
//   power        year,month,day,hour,minute,second,kW
// values printed as "%g", oldest record first, CR LF line ends, UTF-8, no
// header. The moving-average cache is not written. A time that the end of
// DST makes occur twice gets its UTC offset as one more field (+HHMM or
// -HHMM, +HHMMSS when it has seconds); loading uses it to pick the instant.
//
// Saving never damages the previous file: the new content goes to
// path + ".tmp" in the same folder and replaces the old file by a rename
// only once every byte of it was written. Whatever a killed save left at
// path + ".tmp" is removed first and the file created anew; only a folder
// with content there makes the save fail.
//
// Threads: UI thread (the monitors' timers and window teardown). Nothing here
// locks; the series must not change during a call.
#pragma once

#include <cstddef>
#include <string>

#include "core/clock.h"
#include "core/prompt.h"
#include "core/settings_store.h"
#include "sensors/sensor_records.h"

namespace orvana {

enum class DataFileKind { Temperature, Geiger, Owl };

// "TemperatureData.csv", "GeigerData.csv" or "OwlData.csv".
const char* dataFileName(DataFileKind kind);

// Shown (through Prompt::notify) by the temperature and radiation monitors
// whenever a save fails.
inline constexpr const char* kDataFileSaveFailedText =
    "データファイルが保存できません。他のソフトでデータを開いたり編集している場合は、"
    "終了してください。";

enum class SaveResult {
    Saved,
    Locked,       // the existing file cannot be opened for writing; nothing written
    WriteFailed,  // the new content could not be written or put in place
};

// Writes every record whose age, (now - m_Time) / 3600 in whole hours, is at
// most keepHours (records in the future always) to `path`, through a
// temporary file beside it. On any failure the file at `path` is unchanged
// and the save leaves no temporary file of its own behind.
SaveResult writeDataFile(const std::string& path, const CTempRecordArray& series, TimeT now,
                         int keepHours);
SaveResult writeDataFile(const std::string& path, const CGeigerRecordArray& series, TimeT now,
                         int keepHours);
SaveResult writeDataFile(const std::string& path, const COwlRecordArray& series, TimeT now,
                         int keepHours);

struct LoadResult {
    bool opened = false;      // false: no file or unreadable; the series is empty
    std::size_t loaded = 0;   // lines turned into records
    std::size_t skipped = 0;  // lines with too few fields or no valid time
};

// Replaces the series by the file's records. Temperature times are minute
// keys already and are kept as they are. The series is the one that
// AddKeyedRecord / AddRecord of each line in file order would give, built in
// O(n log n) whatever the line order. Lines with too few fields or calendar
// fields that make no valid local time are skipped; the lines after them
// still load.
LoadResult readDataFile(const std::string& path, CTempRecordArray& series);
LoadResult readDataFile(const std::string& path, CGeigerRecordArray& series);
LoadResult readDataFile(const std::string& path, COwlRecordArray& series);

// The monitors' entry points. The data folder ("Setting"/"DATA_DIR") and the
// keep period ("Setting"/"DATA_KEEP_PERIOD", default 6) are read from the
// store at every call, so a change in the settings dialog takes effect at the
// next save. store, clock and prompt must outlive this object.
class SensorDataFiles {
  public:
    SensorDataFiles(const SettingsStore& store, const Clock& clock, Prompt& prompt)
        : store_(store), clock_(clock), prompt_(prompt) {}

    // DATA_DIR + "/" + the file name, or the bare file name (relative to the
    // current folder) when DATA_DIR is empty.
    std::string GetDataFilePath(DataFileKind kind) const;

    // Returns true when the file was written. The temperature and radiation
    // versions notify kDataFileSaveFailedText once per failed save; the
    // power version fails silently. A failure leaves the old file and the
    // series as they were.
    bool SaveDataFile(const CTempRecordArray& series);
    bool SaveDataFile(const CGeigerRecordArray& series);
    bool SaveDataFile(const COwlRecordArray& series);

    // Replaces the series by the data file's content; a missing file gives
    // an empty series and no message.
    LoadResult LoadDataFile(CTempRecordArray& series) const;
    LoadResult LoadDataFile(CGeigerRecordArray& series) const;
    LoadResult LoadDataFile(COwlRecordArray& series) const;

  private:
    int keepHours() const;

    const SettingsStore& store_;
    const Clock& clock_;
    Prompt& prompt_;
};

}  // namespace orvana
