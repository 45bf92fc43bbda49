#include "eventlog/entry.hpp"
#include "property.hpp"
#include "registry_oracle.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewatch
{
namespace
{

// Blank-separated timestamp, then the entry text whose first comma-field
// is the MessageId; nothing else of the line counts.
bool oracleIsCritical(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && line[i] != ' ')
    {
        ++i;
    }
    while (i < line.size() && line[i] == ' ')
    {
        ++i;
    }
    if (i == line.size())
    {
        return false;
    }
    std::size_t idEnd = i;
    while (idEnd < line.size() && line[idEnd] != ',')
    {
        ++idEnd;
    }
    const RegistryRecord* row = oracleRow(line.substr(i, idEnd - i));
    if (row == nullptr)
    {
        return false;
    }
    const std::string_view severity = row->message.severity;
    return severity == "Critical" || severity == "critical";
}

} // namespace
} // namespace tidewatch

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size)
{
    using namespace tidewatch;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const bool critical = isCriticalEntry(line);
    const bool expected = oracleIsCritical(line);
    requireProperty(!critical || expected, "critical only if registered so");
    requireProperty(critical || !expected, "every registered critical found");
    // Arguments never change the verdict, so one more must not either.
    requireProperty(isCriticalEntry(line + ",extra") == critical,
                    "an added argument keeps the verdict");
    return 0;
}
