#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tidewatch::bench
{

// Generated event logs shaped like a BMC's: four files, "redfish.3" (read
// first) to "redfish" (read last), lines of 56 to 112 bytes with an RFC 3339
// timestamp, a MessageId drawn from the built-in registries and arguments
// after commas. Every line is non-critical except the one optionally placed.
struct EventLogSet
{
    const char* name;
    std::size_t bytesPerFile;
};

inline constexpr EventLogSet typicalSet{"typical", 64 * 1024};
inline constexpr EventLogSet stressSet{"stress", 512 * 1024};

// Walk order is the order the service reads: oldest rotation first.
inline constexpr const char* walkOrder[] = {"redfish.3", "redfish.2",
                                            "redfish.1", "redfish"};

struct WrittenSet
{
    std::size_t bytes;
    std::size_t lines;
};

// Writes the set into `directory`; when `criticalLine` is given, that line
// of the walk (counted from 0) is a critical entry. The same arguments give
// the same files.
WrittenSet writeEventLogSet(const std::filesystem::path& directory,
                            const EventLogSet& set,
                            std::optional<std::size_t> criticalLine);

// One freshly generated line (without its newline), critical or not; for
// appending to a live log.
std::string makeEventLogLine(bool critical, unsigned seed);

} // namespace tidewatch::bench
