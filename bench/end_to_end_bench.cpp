// The service end to end, inside scripts/sandbox: from the one append to
// /var/log/redfish that triggers an evaluation to the LED manager stand-in
// receiving SetHealthFault, plus a burst of appends, CPU time per trigger,
// resident memory over many triggers.
//
//   scripts/sandbox -- end-to-end-bench
//
// TIDEWATCH_EXE and LED_MANAGER_STANDIN name the two programs.

#include "child_process.hpp"
#include "event_log_sets.hpp"
#include "harness.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tidewatch::bench
{
namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Microseconds = std::chrono::duration<double, std::micro>;

using systemtest::logDirectory;
using systemtest::requiredEnvironment;
using systemtest::residentKibibytes;

const fs::path currentLog = logDirectory / "redfish";
// Not an event log name, so writing it triggers nothing; renamed over
// "redfish" (a rename is not watched) it resets that file silently.
const fs::path stagedLog = logDirectory / "staged-redfish";

constexpr std::chrono::milliseconds callPatience = std::chrono::seconds(30);
constexpr std::size_t warmUpTriggers = 20;
constexpr std::size_t measuredTriggers = 500;
constexpr std::size_t burstAppends = 1000;
constexpr std::size_t soakTriggers = 20000;
// The soak lets "redfish" grow this many lines before it is reset.
constexpr std::size_t soakResetEvery = 1000;
constexpr std::size_t soakReportEvery = 5000;

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what);
}

void expectCall(Child& ledManager)
{
    const auto line = ledManager.readLine(callPatience);
    if (!line || !line->starts_with("SetHealthFault "))
    {
        fail("no SetHealthFault call reached the LED manager");
    }
}

// Returns once the service has made its start-up call and watches for
// changes.
void awaitStart(Child& ledManager, const Child& service)
{
    expectCall(ledManager);
    // The service evaluates once before it adds its inotify watch; an
    // append made before the watch exists would go unseen.
    if (!systemtest::waitUntilWatching(service.pid()))
    {
        fail("the service never watched /var/log");
    }
}

void clearEventLog()
{
    for (const auto& entry : fs::directory_iterator(logDirectory))
    {
        fs::remove_all(entry.path());
    }
}

// Puts `text` in place as "redfish" without a watched inotify record.
void resetCurrentLog(const std::string& text)
{
    std::ofstream(stagedLog, std::ios::binary) << text;
    fs::rename(stagedLog, currentLog);
}

// One write(), so one IN_MODIFY record; returns when it was made.
Clock::time_point appendLine(const std::string& line)
{
    const int fd = open(currentLog.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const auto start = Clock::now();
    const bool written = write(fd, line.data(), line.size()) ==
                         static_cast<ssize_t>(line.size());
    close(fd);
    if (!written)
    {
        fail("append to " + currentLog.string());
    }
    return start;
}

std::string appendedLine(std::size_t trigger)
{
    return makeEventLogLine(false, static_cast<unsigned>(trigger)) + '\n';
}

struct Scenario
{
    const char* name;
    std::optional<EventLogSet> set; // none: an empty log
};

struct PreparedLog
{
    std::string current; // what "redfish" holds, put back before a trigger
    std::size_t bytes;   // in all files
};

// Lays out the scenario's files, none of them critical.
PreparedLog prepareEventLog(const Scenario& scenario)
{
    clearEventLog();
    std::size_t bytes = 0;
    if (scenario.set)
    {
        bytes =
            writeEventLogSet(logDirectory, *scenario.set, std::nullopt).bytes;
    }
    std::ofstream(currentLog, std::ios::app).flush();
    std::ifstream file(currentLog, std::ios::binary);
    return {std::string((std::istreambuf_iterator<char>(file)), {}), bytes};
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(
        fraction * static_cast<double>(values.size()) + 0.999999);
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

// Prints the figures of one log and returns the median in microseconds.
double measureTriggerLatency(const Scenario& scenario, Child& ledManager)
{
    const PreparedLog log = prepareEventLog(scenario);
    Child service(requiredEnvironment("TIDEWATCH_EXE"), false);
    awaitStart(ledManager, service);

    std::vector<double> latencies;
    double cpuBefore = 0;
    for (std::size_t trigger = 0; trigger < warmUpTriggers + measuredTriggers;
         ++trigger)
    {
        if (trigger == warmUpTriggers)
        {
            cpuBefore = cpuMicroseconds(service.pid());
        }
        resetCurrentLog(log.current);
        // Lets the service pass over the records of the reset first.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const auto start = appendLine(appendedLine(trigger));
        expectCall(ledManager);
        if (trigger >= warmUpTriggers)
        {
            latencies.push_back(Microseconds(Clock::now() - start).count());
        }
    }
    const double cpuPerTrigger =
        (cpuMicroseconds(service.pid()) - cpuBefore) / measuredTriggers;
    const double median = percentile(latencies, 0.5);
    std::printf("%-8s %10zu %10.0f %10.0f %12.0f\n", scenario.name, log.bytes,
                median, percentile(latencies, 0.99), cpuPerTrigger);
    return median;
}

// Appends as fast as one writer can; the kernel merges records the service
// has not read yet, so fewer calls than appends arrive.
void measureBurst(Child& ledManager)
{
    prepareEventLog({"typical", typicalSet});
    Child service(requiredEnvironment("TIDEWATCH_EXE"), false);
    awaitStart(ledManager, service);

    std::vector<std::string> lines;
    for (std::size_t append = 0; append < burstAppends; ++append)
    {
        lines.push_back(appendedLine(append));
    }
    const auto start = Clock::now();
    for (const std::string& line : lines)
    {
        appendLine(line);
    }
    const auto appended = Clock::now();
    std::size_t calls = 0;
    auto last = start;
    while (ledManager.readLine(std::chrono::seconds(2)))
    {
        last = Clock::now();
        ++calls;
    }
    const auto sinceStart = [start](Clock::time_point when) {
        return std::chrono::duration<double, std::milli>(when - start).count();
    };
    std::printf("burst: %zu appends to the typical set in %.1f ms, calls "
                "received: %zu, the last %.1f ms after the first append\n",
                burstAppends, sinceStart(appended), calls, sinceStart(last));
}

// Resident memory at start and along the way: growth after the first
// triggers (allocator arenas, pages first touched) would be a leak.
void measureSoak(Child& ledManager)
{
    const PreparedLog log = prepareEventLog({"typical", typicalSet});
    Child service(requiredEnvironment("TIDEWATCH_EXE"), false);
    awaitStart(ledManager, service);
    std::printf("resident memory (KiB) on the typical set: %ld after start",
                residentKibibytes(service.pid()));
    const auto start = Clock::now();
    for (std::size_t trigger = 0; trigger < soakTriggers; ++trigger)
    {
        if (trigger % soakResetEvery == 0)
        {
            resetCurrentLog(log.current);
        }
        appendLine(appendedLine(trigger));
        expectCall(ledManager);
        if ((trigger + 1) % soakReportEvery == 0)
        {
            std::printf(", %ld after %zu", residentKibibytes(service.pid()),
                        trigger + 1);
        }
    }
    std::printf(" triggers (%.1f s)\n",
                std::chrono::duration<double>(Clock::now() - start).count());
}

} // namespace
} // namespace tidewatch::bench

int main()
{
    using namespace tidewatch::bench;
    if (!systemtest::insideSandbox())
    {
        std::fprintf(stderr, "end-to-end-bench: run it inside scripts/sandbox; "
                             "it rewrites /var/log\n");
        return 2;
    }
    try
    {
        Child ledManager(requiredEnvironment("LED_MANAGER_STANDIN"), true);
        if (ledManager.readLine(callPatience) != "ready")
        {
            fail("the LED manager stand-in did not start");
        }
        std::printf("trigger to call, %zu triggers per log (microseconds):\n"
                    "%-8s %10s %10s %10s %12s\n",
                    measuredTriggers, "log", "bytes", "median", "p99",
                    "cpu/trigger");
        const double empty =
            measureTriggerLatency({"empty", std::nullopt}, ledManager);
        const double typical =
            measureTriggerLatency({"typical", typicalSet}, ledManager);
        measureTriggerLatency({"stress", stressSet}, ledManager);
        std::printf("typical median / empty median: %.2f (target <= 2.5)\n",
                    typical / empty);
        measureBurst(ledManager);
        measureSoak(ledManager);
        clearEventLog();
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "end-to-end-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
