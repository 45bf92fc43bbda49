#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tidewatch
{

// Every text below that comes from the event log or a file name has been
// through cleanText: valid UTF-8 and at most textLimit bytes plus cutMark.
inline constexpr std::size_t textLimit = 512;
inline constexpr std::string_view cutMark = "[…]";

struct ExplainedFile
{
    std::string path;
    std::uint64_t lines;
    std::uint64_t judged;
};

struct DecidingEntry
{
    std::string path;
    std::uint64_t line; // in its file, counting from 1
    std::string text;
    std::string messageId;
    std::string registry;
    const char* severity;
    std::string message; // the registered message, its arguments filled in
    const char* resolution;
};

struct JudgedLine
{
    std::string path;
    std::uint64_t line;
    std::string outcome;
    std::optional<std::string> messageId; // for an entry
    const char* severity = nullptr;       // for a registered MessageId
};

// What the service would conclude from the event log now, and why.
struct Explanation
{
    bool healthFault = false;
    std::uint64_t linesRead = 0;
    std::uint64_t linesJudged = 0;
    std::vector<ExplainedFile> files; // in walk order
    std::optional<DecidingEntry> decidingEntry;
    std::optional<std::vector<JudgedLine>> judgedLines; // when asked for
};

// Scans the directory through the service's own scan. Throws as
// hasCriticalEvent does.
Explanation explainEventLog(const std::filesystem::path& directory,
                            bool everyJudgedLine);

std::string renderText(const Explanation& explanation);
nlohmann::ordered_json renderJson(const Explanation& explanation);

// The registered message with %1..%n replaced by the entry's arguments; a
// placeholder without its argument stays as it is.
std::string fillMessage(std::string_view message,
                        std::span<const std::string_view> arguments);

// Each byte that is not part of a well-formed UTF-8 sequence becomes U+FFFD;
// a text longer than textLimit bytes is cut on a character boundary and
// ends with cutMark.
std::string cleanText(std::string_view text);

// A console takes control characters as commands, and a carriage return at
// the end of a MessageId is just what a person must see: text output shows
// each as its Control Pictures symbol (U+2400 + code, DEL as U+2421).
std::string forConsole(std::string_view text);

} // namespace tidewatch
