// Cost of one evaluation of the event log against the floor of reading the
// same files with nothing but read() and a newline count, on the typical and
// the stress set; and of one line through isCriticalEntry, its key in the
// first or the last row of a table.

#include "event_log_sets.hpp"
#include "eventlog/entry.hpp"
#include "eventlog/scan.hpp"
#include "registries/registry.hpp"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace
{

// Heap allocations so far, counted by this program's own operator new. The
// benchmarks run on one thread, so a plain counter is exact.
std::size_t allocations = 0;

} // namespace

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size))
    {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace
{
using namespace tidewatch;
using namespace tidewatch::bench;

struct Case
{
    std::string name; // "<set>/<critical line>"
    std::filesystem::path directory;
    std::vector<std::string> files; // in walk order
    WrittenSet written;
    bool critical;
};

// The least any evaluation must do: read every byte, find every line.
std::size_t countNewlines(const std::vector<std::string>& files)
{
    std::size_t newlines = 0;
    std::array<char, 65536> buffer;
    for (const std::string& file : files)
    {
        const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t count = 0;
        while ((count = read(fd, buffer.data(), buffer.size())) > 0)
        {
            newlines += static_cast<std::size_t>(
                std::count(buffer.data(), buffer.data() + count, '\n'));
        }
        close(fd);
    }
    return newlines;
}

// Checks a pass against what it must give and counts the allocations of one
// pass outside the timed loop, then times it.
template <typename Pass>
void measure(benchmark::State& state, Pass pass, decltype(pass()) expected,
             std::size_t bytes)
{
    if (pass() != expected)
    {
        state.SkipWithError("wrong result");
        return;
    }
    const std::size_t before = allocations;
    pass();
    state.counters["allocs"] = static_cast<double>(allocations - before);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(pass());
    }
    state.SetBytesProcessed(
        state.iterations() * static_cast<std::int64_t>(bytes));
}

// Keeps each run's CPU time, the median when repeated: on a shared machine
// it is steadier than wall time, and both sides of a ratio are CPU-bound.
class MedianKeeper : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
        {
            if (!run.error_occurred &&
                (run.repetitions <= 1 || run.aggregate_name == "median"))
            {
                kept[run.run_name.function_name] = run;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, Run> kept;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    std::string pattern =
        std::filesystem::temp_directory_path() / "tidewatch-bench-XXXXXX";
    if (benchmark::ReportUnrecognizedArguments(argc, argv) ||
        mkdtemp(pattern.data()) == nullptr)
    {
        return 1;
    }
    std::vector<Case> cases;
    for (const EventLogSet& set : {typicalSet, stressSet})
    {
        for (const auto& [placement, criticalLine] :
             {std::pair<const char*, std::optional<std::size_t>>{"none", {}},
              {"first", 0},
              {"windowEnd", evaluatedLineLimit - 1}})
        {
            Case& c = cases.emplace_back();
            c.name = std::string(set.name) + '/' + placement;
            c.directory = std::filesystem::path(pattern) / c.name;
            std::filesystem::create_directories(c.directory);
            c.written = writeEventLogSet(c.directory, set, criticalLine);
            c.critical = criticalLine.has_value();
            for (const char* name : walkOrder)
            {
                c.files.push_back(c.directory / name);
            }
            countNewlines(c.files); // warms the page cache
        }
    }
    for (const Case& c : cases)
    {
        benchmark::RegisterBenchmark(("evaluate/" + c.name).c_str(),
                                     [&c](benchmark::State& state) {
            measure(
                state, [&c] { return hasCriticalEvent(c.directory); },
                c.critical, c.written.bytes);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("floor/" + c.name).c_str(),
                                     [&c](benchmark::State& state) {
            measure(
                state, [&c] { return countNewlines(c.files); }, c.written.lines,
                c.written.bytes);
        })->Unit(benchmark::kMicrosecond);
    }
    for (const auto& [prefix, rows] :
         {std::pair<std::string, std::span<const RegistryRecord>>{
              "Base", baseRegistry},
          {"OpenBMC", openbmcRegistry},
          {"Quor", quorRegistry}})
    {
        for (const auto& [position, row] :
             {std::pair{"firstRow", &rows.front()},
              std::pair{"lastRow", &rows.back()}})
        {
            const std::string line = "1970-01-01T00:00:13.052207+00:00 " +
                                     prefix + ".1.0." + row->key + ",argument";
            const bool critical =
                std::string_view(row->message.severity) == "Critical";
            benchmark::RegisterBenchmark(
                ("line/" + prefix + '/' + position).c_str(),
                [line, critical](benchmark::State& state) {
                measure(
                    state, [&line] { return isCriticalEntry(line); }, critical,
                    line.size());
                });
        }
    }

    MedianKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\n%-18s %8s %7s %9s %9s %6s %7s\n", "set/critical line",
                "bytes", "lines", "eval us", "floor us", "ratio", "allocs");
    for (const Case& c : cases)
    {
        const auto evaluation = reporter.kept.find("evaluate/" + c.name);
        const auto floor = reporter.kept.find("floor/" + c.name);
        if (evaluation != reporter.kept.end() && floor != reporter.kept.end())
        {
            const double evalTime = evaluation->second.GetAdjustedCPUTime();
            const double floorTime = floor->second.GetAdjustedCPUTime();
            std::printf("%-18s %8zu %7zu %9.1f %9.1f %6.2f %7.0f\n",
                        c.name.c_str(), c.written.bytes, c.written.lines,
                        evalTime, floorTime, evalTime / floorTime,
                        evaluation->second.counters.at("allocs").value);
        }
    }
    std::printf("CPU microseconds per pass (median); allocs: heap "
                "allocations per evaluation\n");
    std::filesystem::remove_all(pattern);
    return 0;
}
