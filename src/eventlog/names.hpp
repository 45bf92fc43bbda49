#pragma once

#include <filesystem>
#include <string_view>

namespace tidewatch
{

// The current event log file; its rotated siblings' names begin with it.
inline constexpr std::string_view eventLogName = "redfish";

// Where the BMC's logging writes the event log files.
const std::filesystem::path& logDirectory();

} // namespace tidewatch
