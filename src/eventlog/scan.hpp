#pragma once

#include "eventlog/entry.hpp"
#include "eventlog/names.hpp"

#include <algorithm>
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

// The event log files (eventLogName and its rotated siblings) in ascending
// path order, whatever kind of entry each is. Throws
// std::filesystem::filesystem_error when the directory cannot be listed.
std::vector<std::filesystem::path> listEventLogFiles(
    const std::filesystem::path& directory);

// Hands the lines of one log file to `onBytes` as they are read: each line's
// bytes in one or more pieces without the line feed, the last piece with
// `lineEnds` set; a last line without a line feed ends with the file. Stops
// reading when `onBytes` returns false. Only a regular file (also behind a
// symbolic link) is read: anything else, or a file that does not open, has
// no lines. A read error ends the file like its end.
void readLogLines(
    const std::filesystem::path& path,
    const std::function<bool(std::string_view bytes, bool lineEnds)>& onBytes);

// A line the walk judged: its file, its number there (from 1), its verdict
// and whether that names a critical message.
struct JudgedLine
{
    const std::filesystem::path& file;
    std::uint64_t number;
    LineVerdict verdict;
    bool critical;
};

// Where a walk ended, for a caller who wants more of the log than the
// verdict and reads on from there.
struct WalkEnd
{
    bool critical = false; // a critical line decided
    // Every event log file in walk order, also those the walk never came to.
    std::vector<std::filesystem::path> files;
    // Reading stopped after line `line` (from 1) of files[file], the line
    // that decided; `file` is files.size() when no line decided and every
    // file was read to its end.
    std::size_t file = 0;
    std::uint64_t line = 0;
};

// The walk over the event log in `directory` that every evaluation makes:
// the files from the last in path order (the oldest rotation) to
// eventLogName, line by line; each of the first evaluatedLineLimit lines is
// judged, and the first critical one decides. Reading ends with the line
// that decides (a critical one, or the last in the window). Throws as
// listEventLogFiles. It tells `reader`, in walk order:
//   reader.file(path)    each file as the walk comes to it;
//   reader.bytes(piece)  the bytes of the line about to be judged, in pieces;
//   reader.judged(line)  that line's verdict.
template <typename Reader>
WalkEnd walkEventLog(const std::filesystem::path& directory, Reader& reader)
{
    WalkEnd end;
    end.files = listEventLogFiles(directory);
    std::ranges::reverse(end.files);
    LineJudge judge;
    std::uint64_t walked = 0; // lines of the walk so far
    bool decided = false;
    for (; end.file < end.files.size(); ++end.file)
    {
        const std::filesystem::path& file = end.files[end.file];
        reader.file(file);
        end.line = 0;
        readLogLines(file, [&](std::string_view bytes, bool lineEnds) {
            judge.feed(bytes);
            reader.bytes(bytes);
            if (!lineEnds)
            {
                return true;
            }
            const LineVerdict verdict = judge.finish();
            end.critical = isCriticalMessage(verdict.message);
            reader.judged(JudgedLine{file, ++end.line, verdict, end.critical});
            decided = ++walked == evaluatedLineLimit || end.critical;
            return !decided;
        });
        if (decided)
        {
            break;
        }
    }
    return end;
}

// The service's evaluation: true when the walk finds a critical line, read
// no further than the line that decides.
bool hasCriticalEvent(const std::filesystem::path& directory);
bool hasCriticalEvent();

} // namespace tidewatch
