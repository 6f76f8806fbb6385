// One run of the demo: a fresh temporary folder holding its settings file,
// its data folder (with the Maildir folder of its mails), its simulated
// devices and the vendor database; the schedule; and the timer that keeps
// the devices moving. The program's platform code takes the demo's backends
// from here (app/platform.cpp); the monitors run their own code on them.
//
// Create it before the application object: it sets ORVANA_DEMO_DEVICES,
// which the demo's device libraries read, while the process has one thread.
// Everything else: UI thread.
#pragma once

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "demo/demo_devices.h"
#include "demo/demo_options.h"
#include "demo/demo_schedule.h"

namespace orvana::demo {

struct DemoPaths {
    std::string root;      // the fresh temporary folder
    std::string settings;  // root/orvana-demo.conf
    std::string data;      // root/data: "DATA_DIR"
    std::string maildir;   // root/data/Maildir
    std::string devices;   // root/devices: the meter's and the counter's files
    std::string vendorDb;  // root/vendor/be.db
    std::string outbox;    // root/outbox: the mail not yet delivered
    std::string log;       // root/log: where the log goes when data/ cannot be written
    std::string lockFile;  // root/orvana.lock: this run's instance lock
};

class DemoSession {
  public:
    // Makes the folder under $TMPDIR (or /tmp) and everything in it, and
    // points the device libraries at it. Null, with `error`, when something
    // cannot be written (the folder is removed again). The folder stays when
    // the session ends (the mails are in it).
    static std::unique_ptr<DemoSession> create(const DemoOptions& options, std::string& error);
    ~DemoSession();
    DemoSession(const DemoSession&) = delete;
    DemoSession& operator=(const DemoSession&) = delete;

    const DemoOptions& options() const { return options_; }
    const DemoPaths& paths() const { return paths_; }
    const Schedule& schedule() const { return schedule_; }
    DemoDevices& devices() { return *devices_; }

    // Seconds since the demo started (its creation). Any thread.
    double elapsed() const;
    // The same as a function that does not refer to the session.
    std::function<double()> elapsedFunction() const;

    // Folders that may hold the demo's libkelvaro.so and libruvasko.so, in
    // the order to try: beside an installed program, then this build's.
    static std::vector<std::string> libraryFolders();

    // Told loud or soft once a second (the sound source's switch).
    void onSound(std::function<void(bool loud)> fn);

    // Moves the devices once a second from now on (a Qt timer: needs the
    // application object, which owns the timer and ends it). Brings them to
    // now at once.
    void start();

    // What the console says at the start and at the end.
    std::vector<std::string> introLines() const;
    std::string farewellLine() const;

  private:
    DemoSession() = default;

    DemoOptions options_;
    DemoPaths paths_;
    Schedule schedule_;
    std::unique_ptr<Clock> clock_;
    std::int64_t startMs_ = 0;
    std::unique_ptr<DemoDevices> devices_;
    QPointer<QTimer> timer_;  // owned by the application object
};

}  // namespace orvana::demo
