#include "explain/report.hpp"

#include "eventlog/entry.hpp"
#include "eventlog/scan.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <vector>

namespace tidewatch
{

namespace
{

// Of each judged line only its start is kept to be shown: every text shown is
// cut at textLimit anyway, and the verdict comes from the judge, which sees
// the whole line.
constexpr std::size_t shownLineLimit = 8192;

// The MessageId and the arguments of the line, as far as it was kept.
std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    const auto start = line.find_first_not_of(' ', line.find(' '));
    if (start != std::string_view::npos)
    {
        boost::split(fields, line.substr(start), boost::is_any_of(","),
                     boost::token_compress_on);
    }
    return fields;
}

Explanation judgedLineOf(const std::string& path, std::uint64_t number,
                         const LineVerdict& verdict,
                         std::span<const std::string_view> fields)
{
    using Shape = LineVerdict::Shape;
    const RegistryMessage* message = verdict.message;
    Explanation entry = {
        {"path", path},
        {"line", number},
        {"outcome", verdict.shape == Shape::noBlank ? "not an entry: no blank"
                    : verdict.shape == Shape::onlyBlanks
                        ? "not an entry: nothing after the blanks"
                    : isCriticalMessage(message) ? "critical"
                    : message != nullptr         ? "registered"
                                                 : "unknown MessageId"}};
    if (!fields.empty())
    {
        entry["messageId"] = cleanText(fields.front());
    }
    if (message != nullptr)
    {
        entry["severity"] = message->severity;
    }
    return entry;
}

Explanation decidingEntryOf(
    const std::string& path, std::uint64_t number, std::string_view line,
    const RegistryMessage& message, std::span<const std::string_view> fields)
{
    const std::string_view messageId = fields.empty() ? "" : fields.front();
    return {{"path", path},
            {"line", number},
            {"text", cleanText(line)},
            {"messageId", cleanText(messageId)},
            {"registry", messageId.substr(0, messageId.find('.'))},
            {"severity", message.severity},
            {"message", fillMessage(message.message,
                                    fields.subspan(fields.empty() ? 0 : 1))},
            {"resolution", message.resolution}};
}

} // namespace

std::string cleanText(std::string_view text)
{
    // The JSON serializer replaces what is not UTF-8 by U+FFFD; parsing its
    // output back gives the repaired text. A replacement is never shorter
    // than what it replaces, so bytes past textLimit + 1 cannot be kept.
    using Json = nlohmann::json;
    std::string clean =
        Json::parse(Json(std::string(text.substr(0, textLimit + 1)))
                        .dump(-1, ' ', false, Json::error_handler_t::replace))
            .get<std::string>();
    std::size_t cut = textLimit;
    if (clean.size() <= cut)
    {
        return clean;
    }
    while ((static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80)
    {
        --cut; // back to the first byte of a character
    }
    return clean.substr(0, cut).append(cutMark);
}

std::string forConsole(std::string_view text)
{
    std::string shown;
    for (char c : text)
    {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F)
        {
            shown += "\xE2\x90";
            c = static_cast<char>(0x80 + (code == 0x7F ? 0x21 : code));
        }
        shown += c;
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
    Explanation files = Explanation::array();
    Explanation entries = Explanation::array();
    Explanation decidingEntry = nullptr;
    std::uint64_t linesRead = 0;
    std::uint64_t linesJudged = 0;
    LineJudge judge;
    std::string shown;
    auto walk = listEventLogFiles(directory);
    std::reverse(walk.begin(), walk.end());
    // The service's walk, with its listing, reading and judge; but every
    // file is read to its end, so that its lines are counted, and judging
    // stops where the service stops reading.
    for (const auto& file : walk)
    {
        const std::string path = cleanText(file.native());
        std::uint64_t lines = 0;
        std::uint64_t judged = 0;
        readLogLines(file, [&](std::string_view bytes, bool lineEnds) {
            lines += lineEnds ? 1 : 0;
            if (linesJudged == evaluatedLineLimit || !decidingEntry.is_null())
            {
                return true;
            }
            judge.feed(bytes);
            shown.append(bytes.substr(0, shownLineLimit - shown.size()));
            if (lineEnds)
            {
                ++judged;
                ++linesJudged;
                const LineVerdict verdict = judge.finish();
                const RegistryMessage* message = verdict.message;
                const bool critical = isCriticalMessage(message);
                // Split for showing only, and only when something is shown.
                const auto fields = critical || everyJudgedLine
                                        ? fieldsOf(shown)
                                        : std::vector<std::string_view>{};
                if (critical)
                {
                    decidingEntry =
                        decidingEntryOf(path, lines, shown, *message, fields);
                }
                if (everyJudgedLine)
                {
                    entries.push_back(
                        judgedLineOf(path, lines, verdict, fields));
                }
                shown.clear();
            }
            return true;
        });
        files.push_back({{"path", path}, {"lines", lines}, {"judged", judged}});
        linesRead += lines;
    }
    Explanation explanation = {
        {"healthFault", !decidingEntry.is_null()},
        {"lineLimit", evaluatedLineLimit},
        {"linesJudged", linesJudged},
        {"linesNotJudged", linesRead - linesJudged},
        {"files", files},
        {"decidingEntry", decidingEntry}};
    if (everyJudgedLine)
    {
        explanation["entries"] = entries;
    }
    return explanation;
}

std::string renderText(const Explanation& explanation)
{
    const auto text = [](const Explanation& value) {
        return forConsole(value.get<std::string>());
    };
    const auto number = [](const Explanation& value) {
        return value.get<std::uint64_t>();
    };
    std::ostringstream out;
    out << "health fault: "
        << (explanation["healthFault"].get<bool>() ? "ON" : "off") << '\n';
    if (const auto& entry = explanation["decidingEntry"]; !entry.is_null())
    {
        out << "deciding entry: " << text(entry["path"]) << ", line "
            << number(entry["line"]) << '\n';
        for (const char* key : {"text", "messageId", "registry", "severity",
                                "message", "resolution"})
        {
            out << "  " << std::left << std::setw(12) << key << text(entry[key])
                << '\n';
        }
    }

    const auto& files = explanation["files"];
    out << "walk, oldest file first:\n" << std::right;
    for (const auto& file : files)
    {
        out << std::setw(8) << number(file["lines"]) << " lines, "
            << std::setw(4) << number(file["judged"]) << " judged  "
            << text(file["path"]) << '\n';
    }
    const std::uint64_t judged = number(explanation["linesJudged"]);
    const std::uint64_t read = judged + number(explanation["linesNotJudged"]);
    const std::uint64_t limit = number(explanation["lineLimit"]);
    const std::uint64_t beyondWindow = read - std::min(read, limit);
    out << "judged " << judged << " of " << read << " lines; " << beyondWindow
        << " lie beyond the " << limit << "-line window\n";
    // The newest file comes last in the walk, so it is the first to lose
    // its lines to the window.
    if (const std::uint64_t newestBeyond =
            files.empty()
                ? 0
                : std::min(number(files.back()["lines"]), beyondWindow);
        newestBeyond > 0)
    {
        out << "warning: " << newestBeyond << " lines of the newest file, "
            << text(files.back()["path"])
            << ", lie beyond the window: an entry there never sets the "
               "health fault\n";
    }

    if (explanation.contains("entries"))
    {
        out << "judged lines:\n";
    }
    for (const auto& entry : explanation.value("entries", Explanation::array()))
    {
        out << "  " << text(entry["path"]) << ':' << number(entry["line"])
            << "  " << text(entry["outcome"]);
        if (entry.contains("severity"))
        {
            out << " (" << text(entry["severity"]) << ')';
        }
        if (entry.contains("messageId"))
        {
            out << "  " << text(entry["messageId"]);
        }
        out << '\n';
    }
    return out.str();
}

} // namespace tidewatch
