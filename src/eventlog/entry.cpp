#include "eventlog/entry.hpp"

#include <algorithm>
#include <cstring>

namespace tidewatch
{

namespace
{

template <std::size_t limit>
void keep(FieldStart<limit>& field, std::string_view more)
{
    const std::size_t kept = std::min(field.size, limit);
    std::copy_n(more.begin(), std::min(limit - kept, more.size()),
                field.bytes.begin() + static_cast<std::ptrdiff_t>(kept));
    // Once past the limit the length need only stay past it.
    field.size = std::min(field.size + more.size(), limit + 1);
}

} // namespace

void judgeBytes(EntryJudge& judge, std::string_view bytes)
{
    using Part = EntryJudge::Part;
    while (!bytes.empty())
    {
        std::size_t end = std::string_view::npos;
        switch (judge.part)
        {
            case Part::timestamp:
                end = bytes.find(' ');
                if (end != std::string_view::npos)
                {
                    judge.part = Part::blanks;
                    ++end;
                }
                break;
            case Part::blanks:
                end = bytes.find_first_not_of(' ');
                if (end != std::string_view::npos)
                {
                    judge.part = Part::messageId;
                }
                break;
            case Part::messageId:
                // Fields 1 (the prefix) and 4 (the key) are kept; the
                // version fields between them may be of any length.
                end = static_cast<std::size_t>(
                    std::ranges::find_if(
                        bytes, [](char c) { return c == '.' || c == ','; }) -
                    bytes.begin());
                if (judge.dots == 0)
                {
                    keep(judge.prefix, bytes.substr(0, end));
                }
                else if (judge.dots == 3)
                {
                    keep(judge.key, bytes.substr(0, end));
                }
                if (end < bytes.size())
                {
                    if (bytes[end] == ',' || ++judge.dots > 3)
                    {
                        judge.part = Part::rest;
                    }
                    ++end;
                }
                break;
            case Part::rest:
                return;
        }
        bytes.remove_prefix(std::min(end, bytes.size()));
    }
}

const RegistryMessage* judgedMessage(const EntryJudge& judge)
{
    // Without a third dot the MessageId has no key.
    if (judge.part < EntryJudge::Part::messageId || judge.dots < 3 ||
        judge.prefix.cut() || judge.key.cut())
    {
        return nullptr;
    }
    return findRegistryMessage(judge.prefix.text(), judge.key.text());
}

bool isCriticalMessage(const RegistryMessage* message)
{
    return message != nullptr &&
           (std::strcmp(message->severity, "Critical") == 0 ||
            std::strcmp(message->severity, "critical") == 0);
}

bool isCriticalEntry(const std::string& line)
{
    EntryJudge judge;
    judgeBytes(judge, line);
    return isCriticalMessage(judgedMessage(judge));
}

} // namespace tidewatch
