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
#include <cstdio>
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
                pools.at(std::strcmp(row.message.severity, "Critical") == 0)
                    .emplace_back(idPrefix + row.key, &row.message);
            }
        }
    }
    return pools;
}

// Writes the files in walk order, each just past `bytesPerFile`, the same
// bytes on every run. A line: an RFC 3339 timestamp with microseconds, a
// blank, the MessageId of a non-critical row and its arguments after commas;
// when `critical`, the last judged line of the walk names a critical row.
static std::string writeLogSet(const std::string& directory,
                               std::size_t bytesPerFile, bool critical)
{
    static const auto pools = messagePools();
    std::mt19937 random(14052024);
    std::size_t lines = 0;
    fs::create_directories(directory);
    for (const char* name : logFiles)
    {
        std::ofstream file(fs::path(directory) / name, std::ios::binary);
        for (std::size_t bytes = 0; bytes < bytesPerFile; ++lines)
        {
            const auto& pool =
                pools.at(critical && lines == evaluatedLineLimit - 1);
            const auto& [id, message] = pool[random() % pool.size()];
            std::array<char, 64> stamp{};
            std::snprintf(stamp.data(), stamp.size(),
                          "2024-05-14T%02zu:%02zu:%02zu.%06zu+00:00 ",
                          lines / 3600, lines / 60 % 60, lines % 60,
                          std::size_t{random() % 1000000});
            std::string line = stamp.data() + id;
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
static void measure(benchmark::State& state, const fs::path& dir, bool critical)
{
    if (hasCriticalEvent(dir) != critical ||
        literalHasCriticalEvent(dir) != critical)
    {
        state.SkipWithError("wrong verdict");
    }
    std::clock_t evaluation = 0;
    std::clock_t literal = 0;
    for (auto _ : state)
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

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    std::string root = fs::temp_directory_path() / "tidewatch-bench-XXXXXX";
    if (benchmark::ReportUnrecognizedArguments(argc, argv) ||
        mkdtemp(root.data()) == nullptr)
    {
        return 1;
    }
    for (const auto& [name, kib, critical] :
         {std::tuple<std::string, std::size_t, bool>{"typical/none", 64, false},
          {"typical/line999", 64, true},
          {"stress/none", 512, false},
          {"stress/line999", 512, true},
          {"32MiB/none", 8192, false}})
    {
        benchmark::RegisterBenchmark(
            ("evaluation/" + name).c_str(), measure,
            writeLogSet(root + '/' + name, kib * 1024, critical), critical)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(root);
}
