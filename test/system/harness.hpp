#pragma once

// Drives the production service against the real bus and journal of a
// sandbox (scripts/sandbox): starts and stops it, plays the LED manager,
// changes /var/log and reads back the calls and journal records.

#include <sys/types.h>
#include <systemd/sd-journal.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace systemtest
{

namespace fs = std::filesystem;

// Every wait ends as soon as its condition holds; the bound only decides how
// long a failing test takes. Generous, because the service may run under
// valgrind (TIDEWATCH_TEST_WRAPPER), about twenty times slower.
inline constexpr std::chrono::milliseconds patience = std::chrono::seconds(90);

inline const fs::path logDirectory = "/var/log";

// Event log lines as the BMC's logging writes them, one per verdict.
inline const std::string logTimestamp = "1970-01-01T00:00:13.052207+00:00 ";
inline const std::string criticalLine =
    logTimestamp + "OpenBMC.0.1.CPUThermalTrip,1\n";
inline const std::string warningLine =
    logTimestamp + "OpenBMC.0.1.PowerSupplyFailed,PSU1\n";
inline const std::string okLine = logTimestamp + "OpenBMC.0.1.DCPowerOn,\n";

// The journal messages the service writes, pinned here on purpose.
inline const std::string startMessage =
    "Starting xyz.openbmc_project.corvane.tidewatch";
inline const std::string setFailedMessage =
    "Error while setting health fault status";
inline const std::string unknownExceptionMessage =
    "Unknown exception in xyz.openbmc_project.corvane.tidewatch";

// True only inside the sandbox, where /var is a private tmpfs; nothing here
// may touch /var/log elsewhere.
bool insideSandbox();

// The value of an environment variable the sandbox or meson must set.
std::string requiredEnvironment(const char* name);

// Polls `done` until it holds or `limit` passes; returns whether it held.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = patience);

// A per-run scratch directory outside /var/log.
fs::path scratchDirectory();

// /var/log present and empty, whatever the previous test left.
void resetLogDirectory();
// Each is exactly one system call on the file, so one inotify record.
void createEmptyFile(const std::string& name);
void appendText(const std::string& name, const std::string& text);

// A child whose stdin is /dev/null and whose stdout and stderr are appended
// to `output`. Stopped with SIGTERM (so valgrind still reports) and reaped
// when destroyed.
class Process
{
  public:
    Process(const std::vector<std::string>& argv, fs::path output);
    Process(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process& operator=(Process&&) = delete;
    ~Process();

    pid_t pid() const noexcept
    {
        return id;
    }
    // The exit status, 128 + signal number when a signal ended it, or
    // nothing when it still runs after `limit`.
    std::optional<int> waitForExit(std::chrono::milliseconds limit = patience);
    void stop();
    std::string output() const;

  private:
    pid_t id;
    fs::path outputFile;
    std::optional<int> exitStatus;
};

// The production binary (TIDEWATCH_EXE), behind TIDEWATCH_TEST_WRAPPER when
// set, after `launcher` (a command that ends by exec'ing its arguments).
Process startService(const std::vector<std::string>& launcher = {});

// A launcher that runs the service in a new user namespace whose inotify
// limit `limitName` (max_inotify_instances or max_inotify_watches) is 0.
std::vector<std::string> withoutInotify(const std::string& limitName);

// True once the service sleeps in read() on its inotify descriptor with no
// record queued: everything changed before has been evaluated and
// signalled. Fails the wait if the process ended meanwhile.
bool waitUntilWatching(pid_t service);
bool waitUntilWatching(const Process& service);

// What a process holds now, from /proc: open descriptors and resident
// memory (VmRSS) in KiB.
std::size_t openDescriptors(pid_t pid);
long residentKibibytes(pid_t pid);

// The LED manager stand-in (LED_MANAGER_STANDIN), answering at first.
class LedManager
{
  public:
    LedManager();
    // "answer", "error" or "late MS"; used from the next call on.
    void setAnswer(const std::string& answer);
    // Absent from the bus (its name released), and back.
    void stop();
    void start();
    // Every SetHealthFault value received, in order, across restarts.
    std::vector<bool> calls() const;
    bool waitForCalls(std::size_t count) const;

  private:
    fs::path controlFile;
    fs::path outputFile;
    std::size_t starts = 0;
    std::optional<Process> process;
    // What calls() has parsed so far: soak runs ask after every one of
    // many thousand triggers, so only new output is read.
    mutable std::vector<bool> received;
    mutable std::size_t parsedBytes = 0;
};

// The journal fields the service writes, by name, with the data as written.
using JournalRecord = std::map<std::string, std::string>;

// Every record of process `pid`, in order, once journald has stored all
// that reached it.
std::vector<JournalRecord> journalRecords(pid_t pid);

// Reads the records of one process piece by piece, for runs too long to
// reread the whole journal each time.
class JournalFollower
{
  public:
    explicit JournalFollower(pid_t pid);
    JournalFollower(const JournalFollower&) = delete;
    JournalFollower& operator=(const JournalFollower&) = delete;
    ~JournalFollower();

    // The records not returned before, once journald has stored all that
    // reached it.
    std::vector<JournalRecord> next();

  private:
    sd_journal* journal = nullptr;
};

// Takes the system bus away, and brings a fresh one (the sandbox's
// configuration) back.
void stopBus();
void startBus();

} // namespace systemtest
