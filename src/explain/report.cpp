#include "explain/report.hpp"

#include "eventlog/scan.hpp"
#include "explain/text.hpp"

#include <algorithm>
#include <span>

namespace tidewatch
{

namespace
{

// Of each judged line only its start is kept to be shown: every text shown is
// cut at textLimit anyway, and the verdict comes from the judge, which sees
// the whole line.
constexpr std::size_t shownLineLimit = 8192;

// The MessageId and the arguments of the line, as far as it was kept. A run
// of commas separates as one; a comma at either end leaves an empty field.
std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    const auto start = line.find_first_not_of(' ', line.find(' '));
    if (start == std::string_view::npos)
    {
        return fields;
    }
    for (std::string_view rest = line.substr(start);;)
    {
        const auto comma = rest.find(',');
        fields.push_back(rest.substr(0, comma));
        if (comma == std::string_view::npos)
        {
            return fields;
        }
        rest.remove_prefix(
            std::min(rest.find_first_not_of(',', comma), rest.size()));
    }
}

Outcome outcomeOf(const LineVerdict& verdict, bool critical)
{
    using Shape = LineVerdict::Shape;
    return verdict.shape == Shape::noBlank      ? Outcome::noBlank
           : verdict.shape == Shape::onlyBlanks ? Outcome::onlyBlanks
           : critical                           ? Outcome::critical
           : verdict.message != nullptr         ? Outcome::registered
                                                : Outcome::unknownMessageId;
}

DecidingEntry decidingEntryOf(
    const std::string& path, std::uint64_t line, std::string_view text,
    const RegistryMessage& message, std::span<const std::string_view> fields)
{
    const std::string_view messageId = fields.empty() ? "" : fields.front();
    return {
        path,
        line,
        cleanText(text),
        cleanText(messageId),
        std::string(messageId.substr(0, messageId.find('.'))),
        message.severity,
        fillMessage(message.message, fields.subspan(fields.empty() ? 0 : 1)),
        message.resolution};
}

// Fills the report as the walk goes, line by judged line.
struct Reporter
{
    Explanation& report;
    std::string shown; // the start of the line being judged

    void file(const std::filesystem::path& path)
    {
        report.files.push_back({cleanText(path.native())});
    }

    void bytes(std::string_view piece)
    {
        shown.append(piece.substr(0, shownLineLimit - shown.size()));
    }

    void judged(const JudgedLine& line)
    {
        WalkedFile& file = report.files.back();
        ++file.lines;
        ++file.judged;
        ++report.linesJudged;
        const LineVerdict& verdict = line.verdict;
        // Split for showing only, and only when something is shown.
        const auto fields = line.critical || report.entries
                                ? fieldsOf(shown)
                                : std::vector<std::string_view>{};
        if (line.critical)
        {
            report.decidingEntry = decidingEntryOf(
                file.path, line.number, shown, *verdict.message, fields);
        }
        if (report.entries)
        {
            const Outcome outcome = outcomeOf(verdict, line.critical);
            JudgedEntry& entry = report.entries->emplace_back(
                JudgedEntry{file.path, line.number, outcome, {}, {}});
            if (!fields.empty())
            {
                entry.messageId = cleanText(fields.front());
            }
            if (verdict.message != nullptr)
            {
                entry.severity = verdict.message->severity;
            }
        }
        shown.clear();
    }
};

// Counts the lines the walk did not judge, reading on from where it ended to
// the end of every file: the service never looks at them, but a person asking
// why an entry did not count must see them.
void countLinesNotJudged(const WalkEnd& end, Explanation& report)
{
    std::uint64_t walked = report.linesJudged;
    for (std::size_t index = end.file; index < end.files.size(); ++index)
    {
        if (index > end.file)
        {
            report.files.push_back({cleanText(end.files[index].native())});
        }
        WalkedFile& file = report.files[index];
        // The file the walk ended in is read again from its start.
        const std::uint64_t judgedHere = index == end.file ? end.line : 0;
        std::uint64_t number = 0;
        const auto countLine = [&](std::string_view /*bytes*/, bool lineEnds) {
            if (lineEnds && ++number > judgedHere)
            {
                ++file.lines;
                ++report.linesNotJudged;
                if (walked++ >= evaluatedLineLimit)
                {
                    ++file.beyondWindow;
                }
            }
            return true;
        };
        readLogLines(end.files[index], countLine);
    }
}

} // namespace

Explanation explainEventLog(const std::filesystem::path& directory,
                            bool everyJudgedLine)
{
    Explanation report;
    if (everyJudgedLine)
    {
        report.entries.emplace();
    }
    Reporter reporter{report, {}};
    const WalkEnd end = walkEventLog(directory, reporter);
    report.healthFault = end.critical;
    countLinesNotJudged(end, report);
    return report;
}

} // namespace tidewatch
