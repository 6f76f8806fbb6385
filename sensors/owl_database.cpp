#include "sensors/owl_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "sensors/local_time_cache.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace orvana {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// ---- the conversions of the table's text ----

const char* skipSpace(const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    return p;
}

// Decimal integer conversion: leading blanks, a sign, digits; no digits
// read as 0. A value beyond long long gives nullopt (the row is damaged).
std::optional<long long> parseInteger(const unsigned char* text) {
    if (!text)
        return 0;
    const char* p = skipSpace(reinterpret_cast<const char*>(text));
    if (*p == '+' && p[1] != '-')
        ++p;
    long long v = 0;
    const char* end = p + std::char_traits<char>::length(p);
    const auto r = std::from_chars(p, end, v, 10);
    if (r.ec == std::errc::result_out_of_range)
        return std::nullopt;
    return r.ec == std::errc() ? v : 0;
}

// Floating conversion, independent of the process locale (Qt sets LC_ALL
// from the user's environment, and a decimal comma must not change what the
// vendor's "1.5" means). Nothing convertible reads as 0.0.
double parseFloating(const unsigned char* text) {
    if (!text)
        return 0.0;
    const char* p = skipSpace(reinterpret_cast<const char*>(text));
    if (*p == '+' && p[1] != '-')
        ++p;
    double v = 0.0;
    const char* end = p + std::char_traits<char>::length(p);
    const auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc())
        return v;
    if (r.ec == std::errc::result_out_of_range)
        return *p == '-' ? -HUGE_VAL : HUGE_VAL;
    return 0.0;
}

// An integer column: stored integers directly (their text reads the same),
// everything else through its text.
std::optional<long long> intColumn(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_INTEGER:
            return static_cast<long long>(sqlite3_column_int64(st, col));
        case SQLITE_NULL:
            return 0;
        default:
            return parseInteger(sqlite3_column_text(st, col));
    }
}

double floatColumn(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_column_int64(st, col));
        case SQLITE_NULL:
            return 0.0;
        default:
            return parseFloating(sqlite3_column_text(st, col));
    }
}

// One row of energy_history as the series needs it.
struct Row {
    std::int64_t rowid = 0;
    TimeT time = 0;
    double power = 0.0;
};

// Turns the current row of a statement into a Row; false when its fields
// make no valid local time. `first` is the statement column of table
// column 0.
class RowReader {
  public:
    explicit RowReader(int first) : first_(first) {}

    bool read(sqlite3_stmt* st, Row& out) {
        int f[5];
        for (int i = 0; i < 5; ++i) {
            const auto v = intColumn(st, first_ + i);
            if (!v || *v < INT_MIN || *v > INT_MAX)
                return false;
            f[i] = static_cast<int>(*v);
        }
        const CalendarFields fields{f[0], f[1], f[2], f[3], f[4], 0};
        if (!cache_.fromLocalFields(fields, std::numeric_limits<TimeT>::min(), out.time))
            return false;
        out.power = floatColumn(st, first_ + 6) * kOwlPowerFactor;
        return true;
    }

  private:
    int first_;
    LocalTimeCache cache_;
};

// ---- connection and statements ----

struct BusyWait {
    milliseconds timeout{0};
    const std::function<void()>* onBusy = nullptr;
    steady_clock::time_point start{};
    bool notified = false;
};

// Waits with short naps, as SQLite's own time-out does, and tells the
// observer once per connection that the vendor holds the lock.
int busyHandler(void* arg, int count) {
    auto& b = *static_cast<BusyWait*>(arg);
    const auto now = steady_clock::now();
    if (count == 0) {
        b.start = now;
        if (!b.notified && b.onBusy && *b.onBusy) {
            b.notified = true;
            (*b.onBusy)();
        }
    }
    const auto waited = std::chrono::duration_cast<milliseconds>(steady_clock::now() - b.start);
    if (waited >= b.timeout)
        return 0;
    static constexpr int kNaps[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const milliseconds nap{count < 12 ? kNaps[count] : 100};
    std::this_thread::sleep_for(std::min(nap, b.timeout - waited));
    return 1;
}

class Connection {
  public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (db_)
            sqlite3_close(db_);
    }

    // Read-only: a missing file is not created, and nothing is ever written.
    bool open(const std::string& path) {
        const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) {
            // A failed open may still hand back a handle for the message.
            if (db_)
                sqlite3_close(db_);
            db_ = nullptr;
            return false;
        }
        return true;
    }

    void setBusyWait(milliseconds timeout, const std::function<void()>* onBusy) {
        busy_.timeout = timeout;
        busy_.onBusy = onBusy;
        sqlite3_busy_handler(db_, &busyHandler, &busy_);
    }

    bool exec(const char* sql) {
        return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    sqlite3* get() const { return db_; }

    // SQLite's virtual-machine steps of the statements finished so far.
    std::size_t work = 0;

  private:
    sqlite3* db_ = nullptr;
    BusyWait busy_;
};

class Statement {
  public:
    Statement(Connection& db, const char* sql) : db_(db) {
        rc_ = sqlite3_prepare_v2(db.get(), sql, -1, &st_, nullptr);
        if (rc_ != SQLITE_OK) {
            sqlite3_finalize(st_);
            st_ = nullptr;
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() {
        if (st_)
            db_.work +=
                static_cast<std::size_t>(sqlite3_stmt_status(st_, SQLITE_STMTSTATUS_VM_STEP, 0));
        sqlite3_finalize(st_);
    }

    bool ok() const { return st_ != nullptr; }
    // The lock stayed taken past the time-out: another statement would only
    // wait again.
    bool busy() const { return (rc_ & 0xff) == SQLITE_BUSY || (rc_ & 0xff) == SQLITE_LOCKED; }
    int columns() const { return sqlite3_column_count(st_); }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(st_, i, v); }
    void reset() { sqlite3_reset(st_); }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return sqlite3_step(st_); }
    sqlite3_stmt* get() const { return st_; }

  private:
    Connection& db_;
    sqlite3_stmt* st_ = nullptr;
    int rc_ = SQLITE_OK;
};

// The table's first seven columns are needed; `first` is where they start.
bool hasColumns(const Statement& st, int first) {
    return st.columns() >= first + 7;
}

// ---- the cycle ----

// The series' bounds and the cut-off of one cycle.
struct Window {
    TimeT oldest = 0, newest = 0, cutoff = 0;
    // Taken by the forward pass.
    bool forward(TimeT t) const { return t < oldest && t >= cutoff; }
    // Taken by the backward pass.
    bool backward(TimeT t) const { return t > newest && t >= cutoff; }
};

// What a cycle found, before it touches the series.
struct Found {
    std::vector<Row> forward;  // in rowid order: the forward pass's rows
    std::vector<Row> run;      // in rowid order: the trailing run the backward pass takes
    std::optional<std::int64_t> lastRowid;
};

enum class Outcome { Done, NeedFull, Failed };

// Adds records whose times are ascending, equal times in the order wanted.
// AddRecord puts a record before the existing ones of equal time, so each
// group of equal times goes in back to front.
void appendSorted(COwlRecordArray& series, const std::vector<COwlRecord>& sorted) {
    const std::size_t n = sorted.size();
    for (std::size_t i = 0; i < n;) {
        std::size_t j = i;
        while (j < n && sorted[j].m_Time == sorted[i].m_Time)
            ++j;
        for (std::size_t k = j; k-- > i;)
            series.AddRecord(sorted[k].m_Time, sorted[k].m_Power);
        i = j;
    }
}

// Puts the found rows into the series in the order that AddRecord called row
// by row (forward pass in rowid order, then the backward pass from the last
// row back) would give, without its cost: AddRecord searches from the newest
// record, so the backward pass alone would be quadratic on a first read.
std::size_t addFound(COwlRecordArray& series, const Found& found) {
    // Later calls put a record before earlier ones of equal time: the add
    // order reversed, then a stable sort by time, is the final order.
    std::vector<COwlRecord> adds;
    adds.reserve(found.forward.size() + found.run.size());
    for (const Row& r : found.run)
        adds.push_back(COwlRecord{r.time, r.power, 0, 0.0});
    for (auto it = found.forward.rbegin(); it != found.forward.rend(); ++it)
        adds.push_back(COwlRecord{it->time, it->power, 0, 0.0});
    if (adds.empty())
        return 0;
    std::stable_sort(adds.begin(), adds.end(),
                     [](const COwlRecord& a, const COwlRecord& b) { return a.m_Time < b.m_Time; });

    if (series.empty() || adds.front().m_Time > series[series.size() - 1].m_Time) {
        appendSorted(series, adds);
        return adds.size();
    }

    // Some records go in between: merge (new ones before existing ones of
    // equal time), rebuild, and give the existing records their caches back.
    std::vector<COwlRecord> merged;
    merged.reserve(series.size() + adds.size());
    std::size_t e = 0, a = 0;
    while (e < series.size() || a < adds.size()) {
        if (a < adds.size() && (e == series.size() || adds[a].m_Time <= series[e].m_Time))
            merged.push_back(adds[a++]);
        else
            merged.push_back(series[e++]);
    }
    series.clear();
    series.reserve(merged.size());
    appendSorted(series, merged);
    for (std::size_t i = 0; i < merged.size(); ++i) {
        series[i].m_MaWindow = merged[i].m_MaWindow;
        series[i].m_MaValue = merged[i].m_MaValue;
    }
    return adds.size();
}

class SqliteVendorDatabase final : public VendorDatabase {
  public:
    SqliteVendorDatabase(std::string path, SqliteVendorDatabaseOptions options)
        : path_(std::move(path)), options_(std::move(options)) {
        if (options_.busyTimeout < milliseconds(50))
            options_.busyTimeout = milliseconds(50);
    }

    bool canOpen() override {
        Connection db;
        return db.open(path_);
    }

    OwlCycleResult readCycle(COwlRecordArray& series, TimeT cutoff) override {
        OwlCycleResult result;
        Connection db;
        if (!db.open(path_))
            return result;
        db.setBusyWait(options_.busyTimeout, &options_.onBusy);
        result.status = OwlCycleResult::Status::QueryFailed;

        Window w;
        if (!series.empty()) {
            w.oldest = series[0].m_Time;
            w.newest = series[series.size() - 1].m_Time;
        }
        w.cutoff = cutoff;

        // One read transaction: one lock to wait for, one state of the table.
        if (!db.exec("BEGIN"))
            return result;
        Found found;
        Outcome outcome = Outcome::NeedFull;
        if (options_.mode == OwlReadMode::Incremental) {
            outcome = readIncremental(db, w, found, result.rowsRead, result.searched);
            result.incremental = outcome == Outcome::Done;
        }
        if (outcome == Outcome::NeedFull) {
            result.searched = false;
            found = Found{};
            outcome = readFull(db, w, found, result.rowsRead);
        }
        db.exec("COMMIT");
        result.work = db.work;
        if (outcome != Outcome::Done) {
            result.incremental = false;
            result.searched = false;
            return result;
        }

        result.status = OwlCycleResult::Status::Read;
        result.added = addFound(series, found);
        lastRowid_ = found.lastRowid;
        return result;
    }

  private:
    // The anchor, the rows after it, and the forward pass from the start.
    Outcome readIncremental(Connection& db, const Window& w, Found& found, std::size_t& rows,
                            bool& searched) {
        RowReader reader(1);
        std::optional<Row> anchor;
        if (lastRowid_) {
            Statement st(db,
                         "SELECT rowid, * FROM energy_history WHERE rowid <= ?1 "
                         "ORDER BY rowid DESC");
            if (!st.ok())
                return st.busy() ? Outcome::Failed : Outcome::NeedFull;
            if (!hasColumns(st, 1))
                return Outcome::Failed;
            st.bind(1, *lastRowid_);
            const Outcome o = firstValid(st, reader, rows, anchor);
            if (o != Outcome::Done)
                return o;
            // The backward pass would take the anchor itself, so it may reach
            // further back than the last read position.
            if (anchor && w.backward(anchor->time))
                anchor.reset();
        }
        if (!anchor) {
            searched = true;
            const Outcome o = searchAnchor(db, w, reader, rows, anchor);
            if (o != Outcome::Done)
                return o;
        }
        // No row that the backward pass would stop at: only the whole table
        // tells how far back it goes.
        if (!anchor)
            return Outcome::NeedFull;

        const Row& a = *anchor;
        found.lastRowid = a.rowid;
        {
            Statement st(db, "SELECT rowid, * FROM energy_history WHERE rowid > ?1 ORDER BY rowid");
            if (!st.ok() || !hasColumns(st, 1))
                return Outcome::Failed;
            st.bind(1, a.rowid);
            int rc;
            while ((rc = st.step()) == SQLITE_ROW) {
                ++rows;
                Row r;
                r.rowid = sqlite3_column_int64(st.get(), 0);
                found.lastRowid = r.rowid;
                if (!reader.read(st.get(), r))
                    continue;
                if (w.backward(r.time))
                    found.run.push_back(r);
                else
                    found.run.clear();
            }
            if (rc != SQLITE_DONE)
                return Outcome::Failed;
        }

        // No time can be both before the oldest record and not before the
        // cut-off: the forward pass would end at the first valid row.
        if (w.oldest <= w.cutoff)
            return Outcome::Done;
        Statement st(db, "SELECT rowid, * FROM energy_history ORDER BY rowid");
        if (!st.ok() || !hasColumns(st, 1))
            return Outcome::Failed;
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            ++rows;
            Row r;
            r.rowid = sqlite3_column_int64(st.get(), 0);
            if (!reader.read(st.get(), r))
                continue;
            if (!w.forward(r.time))
                return Outcome::Done;
            found.forward.push_back(r);
        }
        return rc == SQLITE_DONE ? Outcome::Done : Outcome::Failed;
    }

    // Steps to the first row whose fields make a valid time; none at the end.
    static Outcome firstValid(Statement& st, RowReader& reader, std::size_t& rows,
                              std::optional<Row>& out) {
        out.reset();
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            ++rows;
            Row r;
            r.rowid = sqlite3_column_int64(st.get(), 0);
            if (reader.read(st.get(), r)) {
                out = r;
                return Outcome::Done;
            }
        }
        return rc == SQLITE_DONE ? Outcome::Done : Outcome::Failed;
    }

    // Finds a row that the backward pass would stop at by bisecting the
    // rowids: where rowids follow time, the last such row, in some twenty
    // look-ups on a million rows. Where they do not, whatever row it finds
    // still bounds the pass; only the reading after it costs more.
    Outcome searchAnchor(Connection& db, const Window& w, RowReader& reader, std::size_t& rows,
                         std::optional<Row>& anchor) {
        // Each end on its own: min() and max() in one query scan the table.
        Statement ends(db,
                       "SELECT (SELECT min(rowid) FROM energy_history), "
                       "(SELECT max(rowid) FROM energy_history)");
        if (!ends.ok())
            return ends.busy() ? Outcome::Failed : Outcome::NeedFull;
        const int rc = ends.step();
        if (rc != SQLITE_ROW)
            return Outcome::Failed;
        if (sqlite3_column_type(ends.get(), 0) == SQLITE_NULL)
            return Outcome::Done;  // no rows
        const std::int64_t first = sqlite3_column_int64(ends.get(), 0);
        const std::int64_t last = sqlite3_column_int64(ends.get(), 1);
        ends.reset();
        // Bounds one outside the table; rowids at the very ends of the range
        // leave no room for them (and no vendor writes such rowids).
        if (first == std::numeric_limits<std::int64_t>::min() ||
            last == std::numeric_limits<std::int64_t>::max())
            return Outcome::Done;
        std::int64_t lo = first - 1;
        std::int64_t hi = last + 1;
        // The distance in unsigned arithmetic: it may exceed the signed range.
        auto gap = [&] { return static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo); };

        Statement probe(db, "SELECT rowid, * FROM energy_history WHERE rowid >= ?1 ORDER BY rowid");
        if (!probe.ok() || !hasColumns(probe, 1))
            return Outcome::Failed;
        // Invariant: the first valid row at or after lo (the anchor) stops
        // the pass, or lo lies before the table; no valid row at or after hi
        // stops it.
        while (gap() > 1) {
            const std::int64_t mid = lo + static_cast<std::int64_t>(gap() / 2);
            probe.reset();
            probe.bind(1, mid);
            std::optional<Row> p;
            if (firstValid(probe, reader, rows, p) != Outcome::Done)
                return Outcome::Failed;
            if (p && !w.backward(p->time)) {
                lo = p->rowid;
                anchor = p;
            } else {
                hi = mid;
            }
        }
        return Outcome::Done;
    }

    // The whole table in one scan: the forward pass's prefix and the trailing
    // run of the backward pass. A table without rowids is read in its own
    // order and leaves no read position.
    Outcome readFull(Connection& db, const Window& w, Found& found, std::size_t& rows) {
        int first = 1;
        auto st =
            std::make_unique<Statement>(db, "SELECT rowid, * FROM energy_history ORDER BY rowid");
        if (!st->ok() && !st->busy()) {
            first = 0;
            st = std::make_unique<Statement>(db, "SELECT * FROM energy_history");
        }
        if (!st->ok() || !hasColumns(*st, first))
            return Outcome::Failed;
        RowReader reader(first);
        bool forwardOpen = true;
        int rc;
        while ((rc = st->step()) == SQLITE_ROW) {
            ++rows;
            Row r;
            if (first == 1) {
                r.rowid = sqlite3_column_int64(st->get(), 0);
                found.lastRowid = r.rowid;
            }
            if (!reader.read(st->get(), r))
                continue;
            if (forwardOpen) {
                if (w.forward(r.time))
                    found.forward.push_back(r);
                else
                    forwardOpen = false;
            }
            if (w.backward(r.time))
                found.run.push_back(r);
            else
                found.run.clear();
        }
        return rc == SQLITE_DONE ? Outcome::Done : Outcome::Failed;
    }

    std::string path_;
    SqliteVendorDatabaseOptions options_;
    // The newest rowid seen by the last cycle that read the table: where the
    // next cycle starts looking. Only a hint; the anchor check keeps the
    // result exact whatever happened in between.
    std::optional<std::int64_t> lastRowid_;
};

std::string homeFolder(const char* home) {
    if (home && *home)
        return home;
#ifndef _WIN32
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
#endif
    return {};
}

}  // namespace

std::unique_ptr<VendorDatabase> makeSqliteVendorDatabase(std::string path,
                                                         SqliteVendorDatabaseOptions options) {
    return std::make_unique<SqliteVendorDatabase>(std::move(path), std::move(options));
}

std::string owlDatabasePath(const std::string& owlDbOverride, const char* winePrefix,
                            const char* home) {
    if (!owlDbOverride.empty())
        return owlDbOverride;
#ifdef _WIN32
    (void)winePrefix;
    (void)home;
    return "C:\\ProgramData\\2SE\\be.db";
#else
    std::string prefix =
        winePrefix && *winePrefix ? std::string(winePrefix) : homeFolder(home) + "/.wine";
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    return prefix + "/drive_c/ProgramData/2SE/be.db";
#endif
}

std::string owlDatabasePath(const std::string& owlDbOverride) {
    return owlDatabasePath(owlDbOverride, std::getenv("WINEPREFIX"), std::getenv("HOME"));
}

}  // namespace orvana
