#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tidewatch
{

// The parts of the report below. Every text in them from the log or a file
// name has been through cleanText.

// One file of the walk: its lines, those judged, those beyond the window.
struct WalkedFile
{
    std::string path;
    std::uint64_t lines = 0;
    std::uint64_t judged = 0;
    std::uint64_t beyondWindow = 0;
};

// The line that sets the health fault, with its registered message.
struct DecidingEntry
{
    std::string path;
    std::uint64_t line; // in its file, from 1
    std::string text;
    std::string messageId;
    std::string registry;
    std::string severity;
    std::string message; // filled with the entry's arguments
    std::string resolution;
};

// What the judge made of a line, from not an entry to critical.
enum class Outcome : std::uint8_t
{
    noBlank,          // not an entry: no blank ends the timestamp
    onlyBlanks,       // not an entry: nothing after the blanks
    unknownMessageId, // no registry holds the MessageId
    registered,       // registered, but not critical
    critical,
};

// One judged line; `messageId` only where the line has entry text, and
// `severity` only where a registry holds its MessageId.
struct JudgedEntry
{
    std::string path;
    std::uint64_t line;
    Outcome outcome;
    std::optional<std::string> messageId;
    std::optional<std::string> severity;
};

// What the service would conclude from the event log now, and why: the one
// report that both outputs render, so that they cannot disagree.
struct Explanation
{
    bool healthFault = false;
    std::uint64_t linesJudged = 0;
    std::uint64_t linesNotJudged = 0;
    std::vector<WalkedFile> files;                   // in walk order
    std::optional<DecidingEntry> decidingEntry;
    std::optional<std::vector<JudgedEntry>> entries; // when asked for
};

// Walks the event log in the directory with the service's walk; `entries`
// lists every judged line when asked for. Throws as hasCriticalEvent does.
Explanation explainEventLog(const std::filesystem::path& directory,
                            bool everyJudgedLine);

} // namespace tidewatch
