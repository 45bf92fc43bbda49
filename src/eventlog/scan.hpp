#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

namespace tidewatch
{

// Only this many lines, counted across all files in walk order, are judged.
inline constexpr std::uint64_t evaluatedLineLimit = 1000;

// A log file is read this many bytes at a time, whatever its lines' lengths.
inline constexpr std::size_t logReadChunkSize = 16384;

// Where the BMC's logging writes the event log files: "/var/log".
const std::filesystem::path& logDirectory();

// The event log files ("redfish" and its rotated siblings) in ascending path
// order, whatever kind of entry each is. Throws
// std::filesystem::filesystem_error when the directory cannot be listed.
std::vector<std::filesystem::path> listEventLogFiles(
    const std::filesystem::path& directory);
std::vector<std::filesystem::path> listEventLogFiles();

// Hands the lines of one log file to `onBytes` as they are read: each line's
// bytes in one or more pieces without the line feed, the last piece with
// `lineEnds` set; a last line without a line feed ends with the file. Stops
// reading when `onBytes` returns false. Only a regular file (also behind a
// symbolic link) is read: anything else, or a file that does not open, has
// no lines. A read error ends the file like its end.
void readLogLines(
    const std::filesystem::path& path,
    const std::function<bool(std::string_view bytes, bool lineEnds)>& onBytes);

// True when one of the first evaluatedLineLimit lines, walking the files
// from the last in path order (the oldest rotation) to "redfish", is a
// critical entry. Reads no further than the line that decides: the first
// critical line or the last within the limit. Throws as listEventLogFiles.
bool hasCriticalEvent(const std::filesystem::path& directory);
bool hasCriticalEvent();

} // namespace tidewatch
