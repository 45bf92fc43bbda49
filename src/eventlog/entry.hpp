#pragma once

#include "registries/registry.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewatch
{

// The first `limit` bytes of a field and its length, counted up to one past
// the limit: a field that long was cut and names nothing.
template <std::size_t limit>
struct FieldStart
{
    std::array<char, limit> bytes;
    std::size_t size = 0;

    bool cut() const noexcept
    {
        return size > limit;
    }
    std::string_view text() const noexcept
    {
        return {bytes.data(), cut() ? limit : size};
    }
};

// What the judge keeps of an event log line ("<timestamp> <MessageId>[,<arg>
// ...]") while its bytes arrive, however long it is: where in the line it
// stands, and of the MessageId only what the lookup can use.
struct EntryJudge
{
    enum class Part : std::uint8_t
    {
        timestamp, // up to the first blank; only a blank ends it
        blanks,    // the blanks after it
        messageId, // up to the first comma or the end of the line
        rest,      // the arguments, or MessageId fields past the key
    };
    Part part = Part::timestamp;
    std::size_t dots = 0; // in the MessageId so far
    FieldStart<registryPrefixLimit> prefix;
    FieldStart<registryKeyLimit> key;
};

// Hands the judge the next bytes of its line, which hold no line feed. A
// line may arrive in any number of pieces with the same outcome.
void judgeBytes(EntryJudge& judge, std::string_view bytes);

// The registered message of the line judged so far, taken as ending here;
// null when it is not an entry or no registry holds its MessageId.
const RegistryMessage* judgedMessage(const EntryJudge& judge);

bool isCriticalMessage(const RegistryMessage* message);

// True when the line names a message registered as critical. Lines that do
// not parse, or whose MessageId no registry holds, are simply not critical.
bool isCriticalEntry(const std::string& line);

} // namespace tidewatch
