#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tidewatch
{

// Only this many lines, counted across all files in walk order, are judged.
inline constexpr std::uint64_t evaluatedLineLimit = 1000;

// The event log files ("redfish" and its rotated siblings) in ascending path
// order. Throws std::filesystem::filesystem_error when the directory cannot
// be listed.
std::vector<std::filesystem::path> listEventLogFiles(
    const std::filesystem::path& directory);
std::vector<std::filesystem::path> listEventLogFiles();

// True when one of the first evaluatedLineLimit lines, walking the files
// from the last in path order (the oldest rotation) to "redfish", is a
// critical entry. Throws as listEventLogFiles does.
bool hasCriticalEvent(const std::filesystem::path& directory);
bool hasCriticalEvent();

} // namespace tidewatch
