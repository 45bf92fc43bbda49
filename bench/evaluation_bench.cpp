// Cost of one evaluation of the event log, hasCriticalEvent(directory),
// against the literal design: every file read to its end with std::getline,
// the first 1000 lines judged by the plain whole-line test. Typical set
// 4 x 64 KiB, stress set 4 x 512 KiB (each with no critical entry and with
// one at the last judged line, walk line 999) and a 32 MiB log. Reported:
// the evaluation's CPU time per pass as the benchmark's time, the literal
// design's as "literal_us", and "ratio", evaluation / literal design.

#include "eventlog/scan.hpp"
#include "literal_design.hpp"
#include "registries/registry.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <span>
#include <tuple>

using namespace tidewatch;
namespace fs = std::filesystem;

constexpr std::array logFiles{"redfish.3", "redfish.2", "redfish.1", "redfish"};

// A MessageId ("Prefix.Major.Minor.Key") and its registered message.
using Message = std::pair<std::string, const RegistryMessage*>;

// The rows of the built-in tables, [0] the non-critical and [1] the critical,
// but those without arguments whose line would be under 56 bytes.
static std::array<std::vector<Message>, 2> messagePools()
{
    std::array<std::vector<Message>, 2> pools;
    for (const auto& [idPrefix, rows] :
         {std::pair<std::string, std::span<const RegistryRecord>>{
              "Base.1.8.", baseRegistry},
          {"OpenBMC.0.1.", openbmcRegistry},
          {"Quor.1.0.", quorRegistry}})
    {
        for (const RegistryRecord& row : rows)
        {
            // The timestamp and its blank take 33 bytes, the MessageId the
            // rest.
            if (row.message.argCount > 0 ||
                idPrefix.size() + std::strlen(row.key) >= 56 - 33)
            {
                const bool critical =
                    std::strcmp(row.message.severity, "Critical") == 0;
                pools.at(critical ? 1 : 0)
                    .emplace_back(idPrefix + row.key, &row.message);
            }
        }
    }
    return pools;
}

static std::string twoDigits(std::size_t value)
{
    return {static_cast<char>('0' + value / 10 % 10),
            static_cast<char>('0' + value % 10)};
}

// Writes the files in walk order, each just past `bytesPerFile`, the same
// bytes on every run. A line: an RFC 3339 timestamp with microseconds, a
// blank, the MessageId of a non-critical row and its arguments after commas;
// when `critical`, the last judged line of the walk names a critical row.
static fs::path writeLogSet(const fs::path& directory, std::size_t bytesPerFile,
                            bool critical)
{
    static const auto pools = messagePools();
    // NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp): the same logs every run
    std::mt19937 random(14052024);
    std::size_t lines = 0;
    fs::create_directories(directory);
    for (const char* name : logFiles)
    {
        std::ofstream file(directory / name, std::ios::binary);
        for (std::size_t bytes = 0; bytes < bytesPerFile; ++lines)
        {
            const auto& pool =
                pools.at(critical && lines == evaluatedLineLimit - 1 ? 1 : 0);
            const auto& [id, message] = pool[random() % pool.size()];
            std::string line =
                "2024-05-14T" + twoDigits(lines / 3600) + ':' +
                twoDigits(lines / 60 % 60) + ':' + twoDigits(lines % 60) + '.' +
                std::to_string(100000 + random() % 900000) + "+00:00 " + id;
            // Each argument takes a comma and a byte at least (no row needs
            // more than the target); targets drawn evenly from 56 to 110 give
            // lines of 82 bytes on average.
            const std::size_t args = message->argCount;
            const std::size_t need = line.size() + 2 * args;
            const std::size_t room = std::max(need, 56 + random() % 55) - need;
            for (std::size_t i = 0; i < args; ++i)
            {
                line += ',';
                // Shares of `room` as even as can be, summing to it.
                for (std::size_t c = 0; c <= (room + i) / args; ++c)
                {
                    line += static_cast<char>(
                        std::strcmp(message->argTypes.at(i), "number") == 0
                            ? '0' + random() % 10
                            : 'a' + random() % 26);
                }
            }
            file << line << '\n';
            bytes += line.size() + 1;
        }
    }
    return directory;
}

// Each iteration times one evaluation, then one literal pass, in CPU time: both
// see the same busy machine, so their ratio holds when wall times do not.
struct LogSet
{
    std::string name;
    std::size_t kib;
    bool critical;
    fs::path directory;
};

// Each made by main() before any runs.
static std::vector<LogSet> logSets{
    {"typical/none", 64, false, {}},
    {"typical/line999", 64, true, {}},
    {"stress/none", 512, false, {}},
    {"stress/line999", 512, true, {}},
    {"32MiB/none", 8192, false, {}}};

static void measure(benchmark::State& state)
{
    const LogSet& set = logSets.at(static_cast<std::size_t>(state.range(0)));
    const fs::path& dir = set.directory;
    const bool critical = set.critical;
    state.SetLabel(set.name);
    if (hasCriticalEvent(dir) != critical ||
        literalHasCriticalEvent(dir) != critical)
    {
        state.SkipWithError("wrong verdict");
    }
    std::clock_t evaluation = 0;
    std::clock_t literal = 0;
    while (state.KeepRunning())
    {
        const std::clock_t start = std::clock();
        benchmark::DoNotOptimize(hasCriticalEvent(dir));
        const std::clock_t middle = std::clock();
        benchmark::DoNotOptimize(literalHasCriticalEvent(dir));
        literal += std::clock() - middle;
        evaluation += middle - start;
        state.SetIterationTime(
            static_cast<double>(middle - start) / CLOCKS_PER_SEC);
    }
    state.counters["literal_us"] =
        benchmark::Counter(1e6 * static_cast<double>(literal) / CLOCKS_PER_SEC,
                           benchmark::Counter::kAvgIterations);
    state.counters["ratio"] =
        static_cast<double>(evaluation) / static_cast<double>(literal);
}

// One run per log set, named by its label.
BENCHMARK(measure)
    ->Name("evaluation")
    ->DenseRange(0, static_cast<std::int64_t>(logSets.size()) - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    std::string root = fs::temp_directory_path() / "tidewatch-bench-XXXXXX";
    if (benchmark::ReportUnrecognizedArguments(argc, argv) ||
        mkdtemp(root.data()) == nullptr)
    {
        return 1;
    }
    for (LogSet& set : logSets)
    {
        set.directory = writeLogSet(fs::path(root) / set.name, set.kib * 1024,
                                    set.critical);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(root);
}
