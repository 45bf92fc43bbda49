#pragma once

// The evaluation as first written, the measure of the service's: each line
// held whole, split into owned strings, every file read to its end.

#include "eventlog/scan.hpp"
#include "registries/registry.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// The entry text starts at the first non-blank after the first blank, its
// first comma-separated field is the MessageId. The service's judge must
// agree with this on every line.
inline bool literalIsCriticalEntry(const std::string& line)
{
    const auto start = line.find_first_not_of(' ', line.find(' '));
    if (start == std::string::npos)
    {
        return false;
    }
    std::vector<std::string> fields;
    boost::split(fields, line.substr(start), boost::is_any_of(","),
                 boost::token_compress_on);
    const auto* message = tidewatch::findRegistryMessage(fields.front());
    const std::string_view severity =
        message != nullptr ? message->severity : "";
    return severity == "Critical" || severity == "critical";
}

// Every line of every file read with std::getline, the first 1000 judged.
inline bool literalHasCriticalEvent(const std::filesystem::path& directory)
{
    std::uint64_t lineNumber = 0;
    auto files = tidewatch::listEventLogFiles(directory);
    std::reverse(files.begin(), files.end()); // the oldest rotation first
    for (const auto& path : files)
    {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line); ++lineNumber)
        {
            if (lineNumber < tidewatch::evaluatedLineLimit &&
                literalIsCriticalEntry(line))
            {
                return true;
            }
        }
    }
    return false;
}
