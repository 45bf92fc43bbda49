#include "eventlog/entry.hpp"

#include <algorithm>
#include <cstring>

namespace tidewatch
{

template <std::size_t limit>
void LineJudge::FieldStart<limit>::keep(std::string_view more)
{
    const std::size_t kept = std::min(size, limit);
    std::copy_n(more.begin(), std::min(limit - kept, more.size()),
                bytes.begin() + static_cast<std::ptrdiff_t>(kept));
    // Once past the limit the length need only stay past it.
    size = std::min(size + more.size(), limit + 1);
}

void LineJudge::feed(std::string_view bytes)
{
    while (!bytes.empty())
    {
        std::size_t end = std::string_view::npos;
        switch (part)
        {
            case Part::timestamp:
                end = bytes.find(' ');
                if (end != std::string_view::npos)
                {
                    part = Part::blanks;
                    ++end;
                }
                break;
            case Part::blanks:
                end = bytes.find_first_not_of(' ');
                if (end != std::string_view::npos)
                {
                    part = Part::messageId;
                }
                break;
            case Part::messageId:
                // Fields 1 (the prefix) and 4 (the key) are kept; the
                // version fields between them may be of any length.
                end = static_cast<std::size_t>(
                    std::ranges::find_if(
                        bytes, [](char c) { return c == '.' || c == ','; }) -
                    bytes.begin());
                if (dots == 0)
                {
                    prefix.keep(bytes.substr(0, end));
                }
                else if (dots == 3)
                {
                    key.keep(bytes.substr(0, end));
                }
                if (end < bytes.size())
                {
                    if (bytes[end] == ',' || ++dots > 3)
                    {
                        part = Part::rest;
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

LineVerdict LineJudge::finish()
{
    LineVerdict verdict{LineVerdict::Shape::entry, nullptr};
    if (part == Part::timestamp)
    {
        verdict.shape = LineVerdict::Shape::noBlank;
    }
    else if (part == Part::blanks)
    {
        verdict.shape = LineVerdict::Shape::onlyBlanks;
    }
    // Without a third dot the MessageId has no key.
    else if (dots >= 3 && !prefix.cut() && !key.cut())
    {
        verdict.message = findRegistryMessage(prefix.text(), key.text());
    }
    part = Part::timestamp;
    dots = 0;
    prefix.size = 0;
    key.size = 0;
    return verdict;
}

bool isCriticalMessage(const RegistryMessage* message)
{
    return message != nullptr &&
           (std::strcmp(message->severity, "Critical") == 0 ||
            std::strcmp(message->severity, "critical") == 0);
}

bool isCriticalEntry(const std::string& line)
{
    LineJudge judge;
    judge.feed(line);
    return isCriticalMessage(judge.finish().message);
}

} // namespace tidewatch
