#include "eventlog/entry.hpp"

#include "registries/registry.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <cstring>
#include <string_view>
#include <vector>

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

bool isCriticalEntry(const std::string& line)
{
    // Only a blank ends the timestamp; a tab belongs to the field it is in.
    const std::string_view view(line);
    const auto blank = view.find(' ');
    if (blank == std::string_view::npos)
    {
        return false;
    }
    const auto entryStart = view.find_first_not_of(' ', blank);
    if (entryStart == std::string_view::npos)
    {
        return false;
    }

    std::vector<std::string_view> fields;
    boost::split(fields, view.substr(entryStart), boost::is_any_of(","),
                 boost::token_compress_on);
    const RegistryMessage* message = findRegistryMessage(fields.front());
    return message != nullptr && isCriticalSeverity(message->severity);
}

} // namespace tidewatch
