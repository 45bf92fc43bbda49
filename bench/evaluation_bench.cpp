// Cost of one evaluation of the event log, against the floor of reading the
// same files with nothing but read() and a newline count.

#include "event_log_sets.hpp"
#include "eventlog/entry.hpp"
#include "eventlog/scan.hpp"
#include "heap_counter.hpp"
#include "registries/registry.hpp"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tidewatch::bench
{
namespace
{

namespace fs = std::filesystem;

struct Placement
{
    const char* name;
    std::optional<std::size_t> criticalLine;
};

constexpr std::array placements{
    Placement{"none", std::nullopt},
    Placement{"first", 0},
    Placement{"windowEnd", evaluatedLineLimit - 1},
};

struct Case
{
    std::string name; // "<set>/<placement>"
    fs::path directory;
    std::vector<std::string> files; // in walk order
    WrittenSet written{0, 0};
    bool critical = false;
};

// The least any evaluation must do: every byte read, every line found.
std::uint64_t countNewlinesByRead(const std::vector<std::string>& files)
{
    std::uint64_t newlines = 0;
    std::array<char, 65536> buffer;
    for (const std::string& file : files)
    {
        const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t count = 0;
        while ((count = read(fd, buffer.data(), buffer.size())) > 0)
        {
            newlines += static_cast<std::uint64_t>(
                std::count(buffer.data(), buffer.data() + count, '\n'));
        }
        close(fd);
    }
    return newlines;
}

Case makeCase(const fs::path& root, const EventLogSet& set,
              const Placement& placement)
{
    Case testCase;
    testCase.name = std::string(set.name) + '/' + placement.name;
    testCase.directory = root / set.name / placement.name;
    fs::create_directories(testCase.directory);
    for (const char* name : walkOrder)
    {
        testCase.files.push_back(testCase.directory / name);
    }
    testCase.written =
        writeEventLogSet(testCase.directory, set, placement.criticalLine);
    testCase.critical = placement.criticalLine.has_value();
    countNewlinesByRead(testCase.files); // warm the page cache
    return testCase;
}

void setCounters(benchmark::State& state, const Case& testCase,
                 HeapCount perPass)
{
    state.SetBytesProcessed(
        state.iterations() * static_cast<std::int64_t>(testCase.written.bytes));
    state.counters["allocs"] = static_cast<double>(perPass.allocations);
    state.counters["heapBytes"] = static_cast<double>(perPass.bytes);
}

// One pass outside the timed loop gives the exact heap use of a pass.
template <typename Pass>
HeapCount heapUseOf(Pass pass)
{
    const HeapCount before = heapCount();
    pass();
    const HeapCount after = heapCount();
    return {after.allocations - before.allocations, after.bytes - before.bytes};
}

// Checks one pass against what it must give, then times it and counts its
// heap use.
template <typename Pass, typename Result>
void measure(benchmark::State& state, const Case& testCase, Pass pass,
             Result expected, const char* mismatch)
{
    if (pass() != expected)
    {
        state.SkipWithError(mismatch);
        return;
    }
    const HeapCount perPass = heapUseOf(pass);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(pass());
    }
    setCounters(state, testCase, perPass);
}

void evaluate(benchmark::State& state, const Case& testCase)
{
    measure(
        state, testCase,
        [&testCase] { return hasCriticalEvent(testCase.directory); },
        testCase.critical, "evaluation gave the wrong result");
}

void readFloor(benchmark::State& state, const Case& testCase)
{
    measure(
        state, testCase,
        [&testCase] { return countNewlinesByRead(testCase.files); },
        testCase.written.lines, "newline count differs from lines written");
}

// One line through isCriticalEntry, its key in the first or the last row of
// a table: the fixed cost of a line and what each row searched adds.
void judgeLine(benchmark::State& state, const std::string& line)
{
    const HeapCount perLine =
        heapUseOf([&line] { return isCriticalEntry(line); });
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(isCriticalEntry(line));
    }
    state.counters["allocs"] = static_cast<double>(perLine.allocations);
}

void registerLineBenchmarks()
{
    const auto add =
        [](std::string_view prefix, std::span<const RegistryRecord> table) {
        for (const auto& [position, row] :
             {std::pair{"firstRow", &table.front()},
              std::pair{"lastRow", &table.back()}})
        {
            const std::string line =
                "1970-01-01T00:00:13.052207+00:00 " + std::string(prefix) +
                ".1.0." + row->key + ",argument";
            benchmark::RegisterBenchmark(
                ("line/" + std::string(prefix) + '/' + position).c_str(),
                judgeLine, line);
        }
    };
    add("Base", baseRegistry);
    add("OpenBMC", openbmcRegistry);
    add("Quor", quorRegistry);
}

// Keeps the CPU time of every run (the median when repeated) for the
// summary: on a shared machine it is steadier than the wall time, and both
// sides of each ratio are bound by the CPU, not by waiting.
class TimeKeepingReporter : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
        {
            const bool repeated = run.repetitions > 1;
            const bool wanted = repeated ? run.run_type == Run::RT_Aggregate &&
                                               run.aggregate_name == "median"
                                         : run.run_type == Run::RT_Iteration;
            if (wanted && !run.error_occurred)
            {
                times[run.run_name.function_name] = run.GetAdjustedCPUTime();
                allocations[run.run_name.function_name] =
                    run.counters.at("allocs").value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;
    std::map<std::string, double> allocations;
};

void printSummary(const std::vector<Case>& cases,
                  const TimeKeepingReporter& reporter)
{
    std::printf("\n%-18s %8s %7s %9s %9s %6s %7s\n", "set/placement", "bytes",
                "lines", "eval us", "floor us", "ratio", "allocs");
    for (const Case& testCase : cases)
    {
        const auto evaluation =
            reporter.times.find("evaluate/" + testCase.name);
        const auto floor = reporter.times.find("floor/" + testCase.name);
        if (evaluation == reporter.times.end() || floor == reporter.times.end())
        {
            continue;
        }
        std::printf("%-18s %8zu %7zu %9.1f %9.1f %6.2f %7.0f\n",
                    testCase.name.c_str(), testCase.written.bytes,
                    testCase.written.lines, evaluation->second, floor->second,
                    evaluation->second / floor->second,
                    reporter.allocations.at("evaluate/" + testCase.name));
    }
    std::printf("CPU microseconds per pass; allocs: heap allocations per "
                "evaluation\n"
                "targets with no critical entry: stress <= 2.5x floor, "
                "typical <= 6x floor, the same allocs for both sets\n");
}

} // namespace
} // namespace tidewatch::bench

int main(int argc, char** argv)
{
    using namespace tidewatch::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
    {
        return 1;
    }

    std::string pattern =
        (fs::temp_directory_path() / "tidewatch-bench-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr)
    {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;

    std::vector<Case> cases;
    for (const EventLogSet& set : {typicalSet, stressSet})
    {
        for (const Placement& placement : placements)
        {
            cases.push_back(makeCase(root, set, placement));
        }
    }
    for (const Case& testCase : cases)
    {
        benchmark::RegisterBenchmark(("evaluate/" + testCase.name).c_str(),
                                     evaluate, testCase)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("floor/" + testCase.name).c_str(),
                                     readFloor, testCase)
            ->Unit(benchmark::kMicrosecond);
    }

    registerLineBenchmarks();

    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(cases, reporter);
    fs::remove_all(root);
    return 0;
}
