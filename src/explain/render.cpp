#include "explain/render.hpp"

#include "eventlog/scan.hpp"
#include "explain/text.hpp"

#include <nlohmann/json.hpp>

#include <iomanip>
#include <sstream>
#include <string_view>
#include <utility>

namespace tidewatch
{

namespace
{

std::string_view wordsFor(Outcome outcome)
{
    switch (outcome)
    {
        case Outcome::noBlank:
            return "not an entry: no blank";
        case Outcome::onlyBlanks:
            return "not an entry: nothing after the blanks";
        case Outcome::unknownMessageId:
            return "unknown MessageId";
        case Outcome::registered:
            return "registered";
        case Outcome::critical:
            return "critical";
    }
    return "";
}

} // namespace

std::string renderText(const Explanation& explanation)
{
    std::ostringstream out;
    out << "health fault: " << (explanation.healthFault ? "ON" : "off") << '\n';
    if (const auto& entry = explanation.decidingEntry)
    {
        out << "deciding entry: " << forConsole(entry->path) << ", line "
            << entry->line << '\n';
        for (const auto& [key, value] :
             {std::pair<const char*, const std::string&>{"text", entry->text},
              {"messageId", entry->messageId},
              {"registry", entry->registry},
              {"severity", entry->severity},
              {"message", entry->message},
              {"resolution", entry->resolution}})
        {
            out << "  " << std::left << std::setw(12) << key
                << forConsole(value) << '\n';
        }
    }

    out << "walk, oldest file first:\n" << std::right;
    std::uint64_t beyondWindow = 0;
    for (const WalkedFile& file : explanation.files)
    {
        out << std::setw(8) << file.lines << " lines, " << std::setw(4)
            << file.judged << " judged  " << forConsole(file.path) << '\n';
        beyondWindow += file.beyondWindow;
    }
    const std::uint64_t judged = explanation.linesJudged;
    out << "judged " << judged << " of " << judged + explanation.linesNotJudged
        << " lines; " << beyondWindow << " lie beyond the "
        << evaluatedLineLimit << "-line window\n";
    // The newest file comes last in the walk, so it is the first to lose
    // its lines to the window.
    if (!explanation.files.empty() && explanation.files.back().beyondWindow > 0)
    {
        const WalkedFile& newest = explanation.files.back();
        out << "warning: " << newest.beyondWindow
            << " lines of the newest file, " << forConsole(newest.path)
            << ", lie beyond the window: an entry there never sets the "
               "health fault\n";
    }

    if (explanation.entries)
    {
        out << "judged lines:\n";
        for (const JudgedEntry& entry : *explanation.entries)
        {
            out << "  " << forConsole(entry.path) << ':' << entry.line << "  "
                << wordsFor(entry.outcome);
            if (entry.severity)
            {
                out << " (" << *entry.severity << ')';
            }
            if (entry.messageId)
            {
                out << "  " << forConsole(*entry.messageId);
            }
            out << '\n';
        }
    }
    return out.str();
}

std::string renderJson(const Explanation& explanation)
{
    using Json = nlohmann::ordered_json;
    Json files = Json::array();
    for (const WalkedFile& file : explanation.files)
    {
        files.push_back({{"path", file.path},
                         {"lines", file.lines},
                         {"judged", file.judged}});
    }
    Json decidingEntry = nullptr;
    if (const auto& entry = explanation.decidingEntry)
    {
        decidingEntry = {
            {"path", entry->path},         {"line", entry->line},
            {"text", entry->text},         {"messageId", entry->messageId},
            {"registry", entry->registry}, {"severity", entry->severity},
            {"message", entry->message},   {"resolution", entry->resolution}};
    }
    Json json = {{"healthFault", explanation.healthFault},
                 {"lineLimit", evaluatedLineLimit},
                 {"linesJudged", explanation.linesJudged},
                 {"linesNotJudged", explanation.linesNotJudged},
                 {"files", files},
                 {"decidingEntry", decidingEntry}};
    if (explanation.entries)
    {
        Json entries = Json::array();
        for (const JudgedEntry& judged : *explanation.entries)
        {
            Json entry = {{"path", judged.path},
                          {"line", judged.line},
                          {"outcome", wordsFor(judged.outcome)}};
            if (judged.messageId)
            {
                entry["messageId"] = *judged.messageId;
            }
            if (judged.severity)
            {
                entry["severity"] = *judged.severity;
            }
            entries.push_back(entry);
        }
        json["entries"] = entries;
    }
    return json.dump(2) + '\n';
}

} // namespace tidewatch
