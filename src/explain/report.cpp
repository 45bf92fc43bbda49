#include "explain/report.hpp"

#include "eventlog/scan.hpp"

#include <algorithm>
#include <iomanip>
#include <sstream>

namespace tidewatch
{

namespace
{

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence that starts the text, or 0.
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto byte = [text](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
    {
        return 1;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || text.size() < length)
    {
        return 0;
    }
    // The second byte's range rules out overlong forms, surrogates and code
    // points past U+10FFFF.
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high)
    {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i)
    {
        if ((byte(i) & 0xC0) != 0x80)
        {
            return 0;
        }
    }
    return length;
}

std::string outcomeOf(const EntryJudgement& judgement)
{
    if (judgement.notEntryReason != nullptr)
    {
        return std::string("not an entry: ") + judgement.notEntryReason;
    }
    if (judgement.message == nullptr)
    {
        return "unknown MessageId";
    }
    return judgement.critical ? "critical" : "registered";
}

DecidingEntry decidingEntryOf(const std::string& path, std::uint64_t number,
                              std::string_view line,
                              const EntryJudgement& judgement)
{
    const std::string_view messageId = judgement.fields.front();
    const RegistryMessage& message = *judgement.message;
    return {
        path,
        number,
        cleanText(line),
        cleanText(messageId),
        std::string(messageId.substr(0, messageId.find('.'))),
        message.severity,
        fillMessage(message.message, std::span(judgement.fields).subspan(1)),
        message.resolution};
}

} // namespace

std::string cleanText(std::string_view text)
{
    std::string clean;
    while (!text.empty())
    {
        const std::size_t length = utf8SequenceLength(text);
        const std::string_view character =
            length == 0 ? replacementCharacter : text.substr(0, length);
        if (clean.size() + character.size() > textLimit)
        {
            return clean.append(cutMark);
        }
        clean += character;
        text.remove_prefix(std::max<std::size_t>(length, 1));
    }
    return clean;
}

std::string forConsole(std::string_view text)
{
    std::string shown;
    for (const char c : text)
    {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F)
        {
            shown += "\xE2\x90";
            shown += static_cast<char>(0x80 + (code == 0x7F ? 0x21 : code));
        }
        else
        {
            shown += c;
        }
    }
    return shown;
}

std::string fillMessage(std::string_view message,
                        std::span<const std::string_view> arguments)
{
    std::string filled;
    for (std::size_t i = 0; i < message.size(); ++i)
    {
        const char next = i + 1 < message.size() ? message[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (message[i] == '%' && next >= '1' && next <= '9' &&
            index < arguments.size())
        {
            filled += cleanText(arguments[index]);
            ++i;
        }
        else
        {
            filled += message[i];
        }
    }
    return filled;
}

Explanation explainEventLog(const std::filesystem::path& directory,
                            bool everyJudgedLine)
{
    Explanation explanation;
    if (everyJudgedLine)
    {
        explanation.judgedLines.emplace();
    }
    ScanListener listener;
    listener.lineJudged = [&explanation](const auto& file, auto number,
                                         auto line, const auto& judgement) {
        const std::string path = cleanText(file.native());
        if (judgement.critical)
        {
            explanation.decidingEntry =
                decidingEntryOf(path, number, line, judgement);
        }
        if (explanation.judgedLines)
        {
            JudgedLine& judged = explanation.judgedLines->emplace_back(
                JudgedLine{path, number, outcomeOf(judgement), {}, nullptr});
            if (!judgement.fields.empty())
            {
                judged.messageId = cleanText(judgement.fields.front());
            }
            if (judgement.message != nullptr)
            {
                judged.severity = judgement.message->severity;
            }
        }
    };
    listener.fileRead =
        [&explanation](const auto& file, auto lines, auto judged) {
        explanation.files.push_back({cleanText(file.native()), lines, judged});
        explanation.linesRead += lines;
        explanation.linesJudged += judged;
    };
    explanation.healthFault = hasCriticalEvent(directory, &listener);
    return explanation;
}

std::string renderText(const Explanation& explanation)
{
    std::ostringstream out;
    out << "health fault: " << (explanation.healthFault ? "ON" : "off") << '\n';
    if (const auto& entry = explanation.decidingEntry)
    {
        out << "deciding entry: " << forConsole(entry->path) << ", line "
            << entry->line << "\n  text        " << forConsole(entry->text)
            << "\n  MessageId   " << forConsole(entry->messageId)
            << "\n  registry    " << entry->registry << "\n  severity    "
            << entry->severity << "\n  message     "
            << forConsole(entry->message) << "\n  resolution  "
            << entry->resolution << '\n';
    }

    out << "files in walk order, oldest first (the first " << evaluatedLineLimit
        << " lines of the walk are judged):\n";
    if (explanation.files.empty())
    {
        out << "  (no event log files)\n";
    }
    std::size_t width = 0;
    for (const ExplainedFile& file : explanation.files)
    {
        width = std::max(width, file.path.size());
    }
    for (const ExplainedFile& file : explanation.files)
    {
        out << "  " << std::left << std::setw(static_cast<int>(width))
            << forConsole(file.path) << std::right << std::setw(8) << file.lines
            << " lines, " << file.judged << " judged\n";
    }
    const std::uint64_t beyondWindow =
        explanation.linesRead -
        std::min(explanation.linesRead, evaluatedLineLimit);
    const std::uint64_t afterDecision =
        explanation.linesRead - explanation.linesJudged - beyondWindow;
    out << explanation.linesJudged << " of " << explanation.linesRead
        << " lines judged\n";
    if (afterDecision > 0)
    {
        out << afterDecision
            << " lines after the deciding entry were not judged\n";
    }
    if (beyondWindow > 0)
    {
        out << beyondWindow << " lines lie beyond the " << evaluatedLineLimit
            << "-line window and were never judged\n";
    }
    // The newest file comes last in the walk, so it is the first to lose
    // its lines to the window.
    if (!explanation.files.empty() &&
        std::min(explanation.files.back().lines, beyondWindow) > 0)
    {
        out << "warning: "
            << std::min(explanation.files.back().lines, beyondWindow)
            << " lines of the newest file, "
            << forConsole(explanation.files.back().path)
            << ", lie beyond the window: an entry there never sets the "
               "health fault\n";
    }

    if (explanation.judgedLines)
    {
        out << "judged lines:\n";
        for (const JudgedLine& judged : *explanation.judgedLines)
        {
            out << "  " << forConsole(judged.path) << ':' << judged.line << "  "
                << judged.outcome;
            if (judged.severity != nullptr)
            {
                out << " (" << judged.severity << ')';
            }
            if (judged.messageId)
            {
                out << "  " << forConsole(*judged.messageId);
            }
            out << '\n';
        }
    }
    return out.str();
}

nlohmann::ordered_json renderJson(const Explanation& explanation)
{
    using Json = nlohmann::ordered_json;
    Json files = Json::array();
    for (const ExplainedFile& file : explanation.files)
    {
        files.push_back({{"path", file.path},
                         {"lines", file.lines},
                         {"judged", file.judged}});
    }
    Json document = {
        {"healthFault", explanation.healthFault},
        {"lineLimit", evaluatedLineLimit},
        {"linesJudged", explanation.linesJudged},
        {"linesNotJudged", explanation.linesRead - explanation.linesJudged},
        {"files", files},
        {"decidingEntry", nullptr},
    };
    if (const auto& entry = explanation.decidingEntry)
    {
        document["decidingEntry"] = {
            {"path", entry->path},         {"line", entry->line},
            {"text", entry->text},         {"messageId", entry->messageId},
            {"registry", entry->registry}, {"severity", entry->severity},
            {"message", entry->message},   {"resolution", entry->resolution},
        };
    }
    if (explanation.judgedLines)
    {
        Json& entries = document["entries"] = Json::array();
        for (const JudgedLine& judged : *explanation.judgedLines)
        {
            Json& entry = entries.emplace_back(
                Json{{"path", judged.path},
                     {"line", judged.line},
                     {"outcome", judged.outcome}});
            if (judged.messageId)
            {
                entry["messageId"] = *judged.messageId;
            }
            if (judged.severity != nullptr)
            {
                entry["severity"] = judged.severity;
            }
        }
    }
    return document;
}

} // namespace tidewatch
