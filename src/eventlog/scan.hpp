#pragma once

#include "eventlog/entry.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

namespace tidewatch
{

// Only this many lines, counted across all files in walk order, are judged.
inline constexpr std::uint64_t evaluatedLineLimit = 1000;

// Where the BMC's logging writes the event log files: "/var/log".
const std::filesystem::path& logDirectory();

// The event log files ("redfish" and its rotated siblings) in ascending path
// order. Throws std::filesystem::filesystem_error when the directory cannot
// be listed.
std::vector<std::filesystem::path> listEventLogFiles(
    const std::filesystem::path& directory);
std::vector<std::filesystem::path> listEventLogFiles();

// Told where a scan decided and what it read, for a person asking why. With
// a listener the scan judges the same lines and gives the same verdict, but
// reads every file to its end, judging nothing after the first critical
// line, so that each file's lines are counted in the same single pass. Both
// callbacks must be set.
struct ScanListener
{
    // Every judged line in walk order, `number` counting from 1 in its file.
    // The line and the judgement's views live only for the call.
    std::function<void(const std::filesystem::path& file, std::uint64_t number,
                       std::string_view line, const EntryJudgement& judgement)>
        lineJudged;
    // Every listed file in walk order, once read: its lines and how many of
    // them were judged. A file that cannot be opened has none.
    std::function<void(const std::filesystem::path& file, std::uint64_t lines,
                       std::uint64_t judged)>
        fileRead;
};

// True when one of the first evaluatedLineLimit lines, walking the files
// from the last in path order (the oldest rotation) to "redfish", is a
// critical entry. Throws as listEventLogFiles does. The service passes no
// listener and the scan then ends at the first critical line.
bool hasCriticalEvent(const std::filesystem::path& directory,
                      const ScanListener* listener = nullptr);
bool hasCriticalEvent();

} // namespace tidewatch
