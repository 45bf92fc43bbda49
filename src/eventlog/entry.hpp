#pragma once

#include <string>

namespace tidewatch
{

// True when the event log line ("<timestamp> <MessageId>[,<arg>...]") names
// a message registered as critical. Lines that do not parse, or whose
// MessageId no registry holds, are simply not critical.
bool isCriticalEntry(const std::string& line);

} // namespace tidewatch
