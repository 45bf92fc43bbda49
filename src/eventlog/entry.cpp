#include "eventlog/entry.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <cstring>

namespace tidewatch
{

namespace
{

bool isCriticalSeverity(const char* severity)
{
    return std::strcmp(severity, "Critical") == 0 ||
           std::strcmp(severity, "critical") == 0;
}

} // namespace

EntryJudgement judgeEntry(std::string_view line)
{
    EntryJudgement judgement;
    // Only a blank ends the timestamp; a tab belongs to the field it is in.
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos)
    {
        judgement.notEntryReason = "no blank";
        return judgement;
    }
    const auto entryStart = line.find_first_not_of(' ', blank);
    if (entryStart == std::string_view::npos)
    {
        judgement.notEntryReason = "nothing after the blanks";
        return judgement;
    }

    boost::split(judgement.fields, line.substr(entryStart),
                 boost::is_any_of(","), boost::token_compress_on);
    judgement.message = findRegistryMessage(judgement.fields.front());
    judgement.critical = judgement.message != nullptr &&
                         isCriticalSeverity(judgement.message->severity);
    return judgement;
}

bool isCriticalEntry(const std::string& line)
{
    return judgeEntry(line).critical;
}

} // namespace tidewatch
