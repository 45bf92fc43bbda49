// soak: many thousand triggers of mixed content against the production
// service, while the LED manager stand-in answers, fails, answers late and
// leaves the bus. Every trigger must give exactly one call attempt: a call
// the stand-in receives with the value the log demands, or, when the
// stand-in fails or is absent, one "Error while setting health fault
// status" record. The service's descriptors and memory must not grow.
//
//   soak [TRIGGERS]    inside scripts/sandbox, with TIDEWATCH_EXE and
//                      LED_MANAGER_STANDIN naming the programs

#include "harness.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace systemtest
{
namespace
{

constexpr std::size_t defaultTriggers = 20000;
// Rotating at this length keeps the four files far below the 1000 lines an
// evaluation judges: a critical line anywhere decides.
constexpr std::size_t rotateAtLines = 40;
constexpr std::size_t rotatedFiles = 3;
constexpr std::size_t samples = 10;
constexpr long rssGrowthLimitKiB = 64;

struct LineKind
{
    const char* name;
    bool critical;
    double weight;
    std::vector<std::string> lines;
};

const std::vector<LineKind> lineKinds = {
    {"critical",
     true,
     3,
     {criticalLine, logTimestamp + "Base.1.0.InternalError\n",
      logTimestamp + "Quor.1.0.PSU0001,PSU2\n"}},
    {"warning",
     false,
     30,
     {warningLine, logTimestamp + "Quor.1.0.AMP0300,P12V\n"}},
    {"ok", false, 20, {okLine, logTimestamp + "Base.1.0.Success\n"}},
    {"unknown",
     false,
     15,
     {logTimestamp + "OpenBMC.0.1.NoSuchMessage,1\n",
      logTimestamp + "Quor.1.0.PSU1,PSU2\n",
      logTimestamp + "Elsewhere.1.0.InternalError\n"}},
    // Critical MessageIds that the layout keeps from counting.
    {"malformed",
     false,
     12,
     {"OpenBMC.0.1.CPUThermalTrip,1\n",
      "1970-01-01T00:00:13.052207+00:00\tOpenBMC.0.1.CPUThermalTrip,1\n",
      logTimestamp + "OpenBMC.0.1.CPUThermalTrip\r\n",
      logTimestamp + ",OpenBMC.0.1.CPUThermalTrip\n",
      logTimestamp + std::string("Base.1.0.InternalError\0,\n", 25), "\n",
      logTimestamp + "\n"}},
};

enum class Standin
{
    answering,
    erring,
    late,
    absent
};
constexpr std::array standinNames = {"answering", "erring", "late", "absent"};
// Shares of the triggers; late answers are few, they cost 20-200 ms each.
constexpr std::array standinWeights = {45.0, 20.0, 8.0, 27.0};
constexpr std::size_t longestPhase = 40;

// The changes of the log, each giving one record named "redfish".
enum class Change
{
    append,
    rotate,
    remove,
    clear
};
const std::vector<double> changeWeights = {85, 8, 5, 2};

// How /var/log was written: lines and critical lines per file name.
struct LogFile
{
    std::size_t lines = 0;
    std::size_t critical = 0;
};
using EventLog = std::map<std::string, LogFile>;

const std::string current = "redfish";

std::string rotatedName(std::size_t generation)
{
    return current + "." + std::to_string(generation);
}

bool holdsCritical(const EventLog& log)
{
    return std::any_of(log.begin(), log.end(),
                       [](const auto& file) { return file.second.critical; });
}

struct Tally
{
    std::map<std::string, std::size_t> operations;
    std::array<std::size_t, standinNames.size()> standin{};
    std::size_t restarts = 0;
    std::size_t calls = 0;
    std::size_t faultCalls = 0;
    std::size_t errors = 0;
};

struct Sample
{
    std::size_t trigger;
    std::size_t descriptors;
    long rssKiB;
};

Sample sample(pid_t pid, std::size_t trigger)
{
    return {trigger, openDescriptors(pid), residentKibibytes(pid)};
}

std::size_t pick(std::mt19937& random, const std::vector<double>& weights)
{
    return std::discrete_distribution<std::size_t>(weights.begin(),
                                                   weights.end())(random);
}

std::size_t below(std::mt19937& random, std::size_t bound)
{
    return static_cast<std::size_t>(random() % bound);
}

void rotate(EventLog& log)
{
    // As logrotate does: the oldest goes, the others are renamed (renames
    // are not watched), then rsyslog creates the new file.
    fs::remove(logDirectory / rotatedName(rotatedFiles));
    log.erase(rotatedName(rotatedFiles));
    for (std::size_t generation = rotatedFiles; generation > 0; --generation)
    {
        const std::string from =
            generation == 1 ? current : rotatedName(generation - 1);
        if (log.contains(from))
        {
            fs::rename(logDirectory / from,
                       logDirectory / rotatedName(generation));
            log[rotatedName(generation)] = log[from];
            log.erase(from);
        }
    }
    createEmptyFile(current);
    log[current] = {};
}

void clear(EventLog& log)
{
    // "redfish" last: its deletion is the trigger, and the evaluation it
    // starts must find the others gone.
    for (const auto& [name, file] : log)
    {
        if (name != current)
        {
            fs::remove(logDirectory / name);
        }
    }
    fs::remove(logDirectory / current);
    log.clear();
}

// Makes one change that gives exactly one inotify record named "redfish"
// and records it in `log`; returns its name.
std::string changeEventLog(EventLog& log, std::mt19937& random)
{
    static const std::vector<double> lineWeights = [] {
        std::vector<double> weights;
        for (const LineKind& kind : lineKinds)
        {
            weights.push_back(kind.weight);
        }
        return weights;
    }();

    if (!log.contains(current))
    {
        createEmptyFile(current);
        log[current] = {};
        return "create";
    }
    const auto change = log[current].lines >= rotateAtLines
                            ? Change::rotate
                            : static_cast<Change>(pick(random, changeWeights));
    if (change == Change::rotate)
    {
        rotate(log);
        return "rotate";
    }
    if (change == Change::remove)
    {
        fs::remove(logDirectory / current);
        log.erase(current);
        return "delete";
    }
    if (change == Change::clear)
    {
        clear(log);
        return "clear";
    }
    const LineKind& kind = lineKinds[pick(random, lineWeights)];
    appendText(current, kind.lines[below(random, kind.lines.size())]);
    ++log[current].lines;
    log[current].critical += kind.critical ? 1U : 0U;
    return std::string("append ") + kind.name;
}

// The model against the files: the same names, each with as many lines.
void checkEventLog(const EventLog& log)
{
    EventLog onDisk;
    for (const auto& entry : fs::directory_iterator(logDirectory))
    {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        onDisk[entry.path().filename().string()].lines =
            static_cast<std::size_t>(
                std::count(text.begin(), text.end(), '\n'));
    }
    for (const auto& [name, file] : log)
    {
        if (!onDisk.contains(name) || onDisk[name].lines != file.lines)
        {
            throw std::runtime_error(
                "/var/log/" + name + " differs from what was written");
        }
    }
    if (onDisk.size() != log.size())
    {
        throw std::runtime_error("/var/log holds files never written");
    }
}

std::optional<std::size_t> parseCount(std::string_view text)
{
    std::size_t count = 0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, count);
    if (parsed.ec != std::errc() || parsed.ptr != end)
    {
        return std::nullopt;
    }
    return count;
}

class Soak
{
  public:
    explicit Soak(std::size_t triggerCount) :
        triggers(triggerCount), service(startService()), journal(service.pid())
    {
        awaitOutcome("start-up", false, Standin::answering);
        expectStartRecord();
        samplesTaken.push_back(sample(service.pid(), 0));
    }

    void run()
    {
        std::mt19937 random(1);
        Standin mode = Standin::answering;
        std::size_t phaseLeft = 0;
        for (std::size_t trigger = 1; trigger <= triggers; ++trigger)
        {
            if (phaseLeft == 0)
            {
                mode = static_cast<Standin>(pick(
                    random, {standinWeights.begin(), standinWeights.end()}));
                phaseLeft = 1 + below(random, longestPhase);
                setStandin(mode, 20 + below(random, 181));
            }
            --phaseLeft;
            ++tally.standin[static_cast<std::size_t>(mode)];
            const std::string operation = changeEventLog(log, random);
            ++tally.operations[operation];
            awaitOutcome("trigger " + std::to_string(trigger) + " (" +
                             operation + ", stand-in " +
                             standinNames[static_cast<std::size_t>(mode)] + ")",
                         holdsCritical(log), mode);
            if (trigger % (triggers / samples) == 0)
            {
                expectRecords(0,
                              "sample at trigger " + std::to_string(trigger));
                samplesTaken.push_back(sample(service.pid(), trigger));
            }
        }

        // A quiet last trigger, the stand-in answering: its call is the
        // final state of the log.
        setStandin(Standin::answering, 0);
        const std::string operation = changeEventLog(log, random);
        awaitOutcome("the last trigger (" + operation + ")", holdsCritical(log),
                     Standin::answering);
        expectRecords(0, "the end");
        checkEventLog(log);
        samplesTaken.push_back(sample(service.pid(), triggers + 1));
        if (!service.output().empty())
        {
            throw std::runtime_error(
                "the service wrote to stdout/stderr: " + service.output());
        }
    }

    void report(std::chrono::duration<double> wallTime) const
    {
        std::printf("triggers: %zu in %.1f s (%.1f ms each)\n", triggers,
                    wallTime.count(),
                    1000 * wallTime.count() / static_cast<double>(triggers));
        std::printf("operations:");
        for (const auto& [name, count] : tally.operations)
        {
            std::printf(" %s %zu,", name.c_str(), count);
        }
        std::printf("\nstand-in:");
        for (std::size_t mode = 0; mode < standinNames.size(); ++mode)
        {
            std::printf(" %s %zu,", standinNames[mode], tally.standin[mode]);
        }
        std::printf(" restarts %zu\n", tally.restarts);
        std::printf("calls received: %zu (%zu true, %zu false); "
                    "error records: %zu\n",
                    tally.calls, tally.faultCalls,
                    tally.calls - tally.faultCalls, tally.errors);
        for (const Sample& s : samplesTaken)
        {
            std::printf("after trigger %6zu: %zu descriptors, VmRSS %ld KiB\n",
                        s.trigger, s.descriptors, s.rssKiB);
        }
    }

    // Descriptors must stay as they were at the start; memory may settle
    // during the first tenth, but not grow after it.
    void checkResources() const
    {
        for (const Sample& s : samplesTaken)
        {
            if (s.descriptors != samplesTaken.front().descriptors)
            {
                throw std::runtime_error("open descriptors changed");
            }
        }
        const long growth =
            samplesTaken.back().rssKiB - samplesTaken.at(1).rssKiB;
        if (growth > rssGrowthLimitKiB)
        {
            throw std::runtime_error("VmRSS grew by " + std::to_string(growth) +
                                     " KiB after the first tenth");
        }
    }

  private:
    void setStandin(Standin mode, std::size_t delayMs)
    {
        if (mode == Standin::absent)
        {
            if (standinPresent)
            {
                led.stop();
                standinPresent = false;
            }
            return;
        }
        if (!standinPresent)
        {
            led.start();
            standinPresent = true;
            ++tally.restarts;
        }
        led.setAnswer(mode == Standin::erring ? "error"
                      : mode == Standin::late
                          ? "late " + std::to_string(delayMs)
                          : "answer");
    }

    // One call attempt: received with `fault` unless the stand-in is
    // absent; one error record when it errs or is absent.
    void awaitOutcome(const std::string& what, bool fault, Standin mode)
    {
        if (!waitUntilWatching(service))
        {
            const auto status = service.waitForExit(std::chrono::seconds(1));
            throw std::runtime_error(
                what + ": the service stopped watching" +
                (status ? ", exit status " + std::to_string(*status) : ""));
        }
        const std::vector<bool> calls = led.calls();
        const std::size_t wanted = mode == Standin::absent ? 0 : 1;
        if (calls.size() != tally.calls + wanted ||
            (wanted == 1 && calls.back() != fault))
        {
            throw std::runtime_error(
                what + ": " + std::to_string(calls.size() - tally.calls) +
                " calls, the last " +
                (calls.empty() ? "none" : std::to_string(calls.back())) +
                "; wanted " + std::to_string(wanted) + " with " +
                std::to_string(fault));
        }
        tally.calls = calls.size();
        tally.faultCalls += wanted == 1 && fault ? 1 : 0;
        if (mode == Standin::erring || mode == Standin::absent)
        {
            expectRecords(1, what);
        }
    }

    // Exactly `count` new records, each a failed call.
    void expectRecords(std::size_t count, const std::string& what)
    {
        const std::vector<JournalRecord> records = journal.next();
        const bool allFailedCalls =
            std::all_of(records.begin(), records.end(), [](const auto& r) {
                return r.at("MESSAGE") == setFailedMessage &&
                       r.at("PRIORITY") == "3";
            });
        if (records.size() != count || !allFailedCalls)
        {
            throw std::runtime_error(
                what + ": " + std::to_string(records.size()) +
                " journal records, wanted " + std::to_string(count) + " \"" +
                setFailedMessage + "\"");
        }
        tally.errors += count;
    }

    void expectStartRecord()
    {
        const std::vector<JournalRecord> records = journal.next();
        if (records.size() != 1 || records[0].at("MESSAGE") != startMessage)
        {
            throw std::runtime_error("start-up: the start record is missing");
        }
    }

    std::size_t triggers;
    LedManager led;
    bool standinPresent = true;
    Process service;
    JournalFollower journal;
    EventLog log;
    Tally tally;
    std::vector<Sample> samplesTaken;
};

} // namespace
} // namespace systemtest

int main(int argc, char** argv)
{
    using namespace systemtest;
    const std::optional<std::size_t> triggers =
        argc == 1 ? defaultTriggers : parseCount(argc == 2 ? argv[1] : "");
    if (!triggers || *triggers < samples)
    {
        std::fprintf(stderr, "usage: soak [TRIGGERS (at least %zu)]\n",
                     samples);
        return 2;
    }
    if (!insideSandbox())
    {
        std::fprintf(stderr, "soak: run it through scripts/sandbox\n");
        return 2;
    }
    try
    {
        resetLogDirectory();
        const auto begin = std::chrono::steady_clock::now();
        Soak soak(*triggers);
        soak.run();
        soak.report(std::chrono::steady_clock::now() - begin);
        soak.checkResources();
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "soak: FAILED: %s\n", error.what());
        return 1;
    }
    std::printf("soak: passed\n");
    return 0;
}
