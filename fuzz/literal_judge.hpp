#pragma once

#include "registries/registry.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace tidewatch
{

// The per-line test written the plain way, the whole line at hand: the entry
// text starts after the first blank and the blanks that follow it, its first
// comma-separated field is the MessageId. The service's judge must agree with
// it on every line; the benchmark weighs the service against it.
inline bool literalIsCriticalEntry(const std::string& line)
{
    const auto blank = line.find(' ');
    const auto start = line.find_first_not_of(' ', blank);
    if (blank == std::string::npos || start == std::string::npos)
    {
        return false;
    }
    std::vector<std::string> fields;
    boost::split(fields, line.substr(start), boost::is_any_of(","),
                 boost::token_compress_on);
    const RegistryMessage* message = findRegistryMessage(fields.front());
    const std::string_view severity = message ? message->severity : "";
    return severity == "Critical" || severity == "critical";
}

} // namespace tidewatch
