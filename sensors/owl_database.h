// The power monitor's source: the energy history that the OWL energy
// monitor's own software keeps in its SQLite database. This program only
// reads that file; it belongs to the vendor's software, which may write it
// at any moment.
//
// The table energy_history is used by column position only:
//   0 year, 1 month 1-12, 2 day, 3 hour 0-23, 4 minute, 5 not used,
//   6 energy of the one-minute interval; times kOwlPowerFactor (0.06) it is
//     the interval's power in kW (20 -> 1.2 kW).
// Columns 0-4 are read with decimal integer conversion, column 6 with
// floating conversion (as text: "20", 20 and 20.0 all read as 20). A row's
// time is the local time of its fields with the seconds 0; a row whose
// fields make no valid local time (month 13, day 0, NULL year, ...) is
// skipped: it is never added and never ends a pass. In the hour repeated
// when daylight saving ends, a row takes the earlier of the two instants.
//
// One cycle adds to the series exactly what this two-pass read of the whole
// table, in rowid order, adds:
//   O, N = times of the series' oldest and newest record (0 and 0 if empty)
//   C    = the cut-off: now - the keep period (see keepCutoff)
//   forward:  from the first row on, each row with C <= t < O is added; the
//             pass ends at the first row that fails;
//   backward: from the last row back, each row with t > N and t >= C is
//             added; the pass ends at the first row that fails.
// The backward pass takes the rows written since the last cycle, the forward
// pass history older than the series (a lengthened keep period, a series
// loaded from a short data file). Rows added are never added again: they
// fall inside [O, N] afterwards.
//
// The SQLite backend reads that result without reading the whole table.
// Rows are stepped one by one (sqlite3_prepare/step). The backward pass can
// reach no further back than a valid row that it would stop at (the anchor:
// t <= N or t < C), so only the rows after an anchor are read. The anchor is
// the newest valid row at or before the last rowid the previous cycle saw
// (one row read); when that row would itself be taken (the series is empty
// or was replaced, the keep period grew, or the rowids are not in time
// order) a new anchor is found by bisecting the rowids (about twenty rows
// for a million; exact wherever rowids follow time, still a valid bound
// where they do not). Only when no probe meets a row that stops the pass
// does it fall back to the full read. The forward pass reads the first rows
// of the table, and only while C < O. So the series after any sequence of
// cycles equals the full two-pass read's, and a cycle reads about as many
// rows as it adds. A table without rowids is always read in full.
//
// Construction of the production backend (app/platform.cpp):
//   s.backends.put<VendorDatabase>(
//       makeSqliteVendorDatabase(owlDatabasePath(overrides.owlDb)));
// Tests put a backend over a file they wrote:
//   makeSqliteVendorDatabase(dir + "/be.db")
// or a double of their own implementing VendorDatabase.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/tables.h"
#include "sensors/sensor_records.h"

namespace orvana {

// Column 6 of a row times this factor is the power of its minute in kW.
inline constexpr double kOwlPowerFactor = 0.06;

// The oldest row time a cycle may add: now - DelHours[keepIndex] hours
// (an index out of the table is clamped, as delHoursFor does).
inline TimeT keepCutoff(TimeT now, int keepIndex) {
    return now - static_cast<TimeT>(delHoursFor(keepIndex)) * 3600;
}

// The outcome of one cycle.
struct OwlCycleResult {
    enum class Status {
        NotOpened,    // the database could not be opened: the cycle is skipped
        QueryFailed,  // opened, but energy_history could not be read (no such
                      // table, fewer than 7 columns, locked past the busy
                      // time-out, damaged file): nothing was added
        Read,         // read; `added` records went into the series
    };
    Status status = Status::NotOpened;
    bool incremental = false;  // only the rows after an anchor were read
    bool searched = false;     // the anchor was found by bisecting the rowids
    std::size_t added = 0;     // records added to the series
    std::size_t rowsRead = 0;  // rows stepped over all statements
    std::size_t work = 0;      // SQLite virtual-machine steps: the whole cost
};

// The vendor database facility. One object serves one power monitor at a
// time (it may keep a read position between cycles; a series replaced
// between cycles is handled, at the price of one full read).
//
// Threads: one thread at a time (the UI thread in the program). A cycle may
// block for up to the busy time-out while the vendor's software writes.
class VendorDatabase {
  public:
    virtual ~VendorDatabase() = default;

    // What the monitor's CheckDevice asks: true when the database file can be
    // opened for reading now. Never creates, changes or locks the file; a
    // missing or unreadable file gives false.
    virtual bool canOpen() = 0;

    // One cycle: adds to `series` (with AddRecord's ordering) the rows of the
    // two-pass read above, for the cut-off `cutoff`. All or nothing: on
    // NotOpened and QueryFailed the series is unchanged. Never writes the
    // file. The records added carry no moving-average cache (m_MaWindow 0);
    // the records already there keep theirs.
    virtual OwlCycleResult readCycle(COwlRecordArray& series, TimeT cutoff) = 0;
};

enum class OwlReadMode {
    Incremental,  // production: rows after an anchor, full read when none
    Full,         // every cycle reads the whole table (the reference read)
};

struct SqliteVendorDatabaseOptions {
    // How long a cycle waits for a lock held by the vendor's writer before
    // it gives up (QueryFailed; the next cycle reads what it missed). The
    // cycle runs on the UI thread, which must never be held half a second;
    // the vendor's writes take milliseconds. Less than 50 ms is taken as
    // 50 ms.
    std::chrono::milliseconds busyTimeout{300};
    OwlReadMode mode = OwlReadMode::Incremental;
    // Called on the reading thread when a cycle first finds the database
    // locked, before it starts waiting (tests use it to release a writer).
    std::function<void()> onBusy;
};

// The production backend over the SQLite file at `path`, opened read-only
// (SQLITE_OPEN_READONLY) with a fresh connection per call, so the file is
// never created or written and no handle stays open between cycles. Never
// null; a missing file shows as canOpen() false and NotOpened cycles.
std::unique_ptr<VendorDatabase> makeSqliteVendorDatabase(std::string path,
                                                         SqliteVendorDatabaseOptions options = {});

// Where the vendor's software keeps its database: `owlDbOverride`
// (ORVANA_OWL_DB) when not empty; otherwise, on Linux,
// $WINEPREFIX/drive_c/ProgramData/2SE/be.db with WINEPREFIX defaulting to
// $HOME/.wine; on Windows C:\ProgramData\2SE\be.db. Reads the environment:
// call at start-up.
std::string owlDatabasePath(const std::string& owlDbOverride);

// The same from given values (null or empty = unset), for tests.
std::string owlDatabasePath(const std::string& owlDbOverride, const char* winePrefix,
                            const char* home);

}  // namespace orvana
