#pragma once

#include "registries/registry.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewatch
{

// What a judged line comes to: the message registered for its MessageId, or
// null and why there is none.
struct LineVerdict
{
    enum class Shape : std::uint8_t
    {
        noBlank,    // no blank ends a timestamp: not an entry
        onlyBlanks, // nothing after the blanks: not an entry
        entry,      // a MessageId, registered or not
    };
    Shape shape;
    const RegistryMessage* message; // null but for a registered MessageId
};

// Judges event log lines ("<timestamp> <MessageId>[,<arg>...]") from their
// bytes as they arrive, in any number of pieces with the same outcome, and
// keeps a fixed amount of each however long it is.
class LineJudge
{
  public:
    // The next bytes of the line, which hold no line feed.
    void feed(std::string_view bytes);

    // The verdict on the line fed so far, taken as ending here; the judge is
    // then ready for the next line.
    LineVerdict finish();

  private:
    // The first `limit` bytes of a field and its length, counted up to one
    // past the limit: a field that long was cut and names nothing.
    template <std::size_t limit>
    struct FieldStart
    {
        std::array<char, limit> bytes;
        std::size_t size = 0;

        void keep(std::string_view more);
        bool cut() const noexcept
        {
            return size > limit;
        }
        std::string_view text() const noexcept
        {
            return {bytes.data(), cut() ? limit : size};
        }
    };

    enum class Part : std::uint8_t
    {
        timestamp, // up to the first blank; only a blank ends it
        blanks,    // the blanks after it
        messageId, // up to the first comma or the end of the line
        rest,      // the arguments, or MessageId fields past the key
    };
    Part part = Part::timestamp;
    std::size_t dots = 0; // in the MessageId so far
    // Of the MessageId only what the lookup can use.
    FieldStart<registryPrefixLimit> prefix;
    FieldStart<registryKeyLimit> key;
};

bool isCriticalMessage(const RegistryMessage* message);

// True when the line names a message registered as critical. Lines that do
// not parse, or whose MessageId no registry holds, are simply not critical.
bool isCriticalEntry(const std::string& line);

} // namespace tidewatch
