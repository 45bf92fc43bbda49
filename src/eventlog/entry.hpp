#pragma once

#include "registries/registry.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tidewatch
{

// An event log line ("<timestamp> <MessageId>[,<arg>...]") as the service
// reads it. Views into the line, valid while the line is.
struct EntryJudgement
{
    // The MessageId, then the message arguments; empty when the line is not
    // an entry, and then `notEntryReason` says why.
    std::vector<std::string_view> fields;
    const char* notEntryReason = nullptr;
    // Null when the line is not an entry or no registry holds its MessageId.
    const RegistryMessage* message = nullptr;
    bool critical = false;
};

// Splits the line into its fields and looks its MessageId up: the one
// decision the service rests on, shared with anything that explains it.
EntryJudgement judgeEntry(std::string_view line);

// True when the line names a message registered as critical. Lines that do
// not parse, or whose MessageId no registry holds, are simply not critical.
bool isCriticalEntry(const std::string& line);

} // namespace tidewatch
