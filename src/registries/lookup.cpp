#include "registries/registry.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace tidewatch
{

namespace
{

// Equal only when identical byte for byte and of equal length; a key with an
// embedded NUL never matches, and the row key is never read past its end.
bool keyEquals(std::string_view key, const char* rowKey)
{
    for (const char c : key)
    {
        if (*rowKey == '\0' || *rowKey != c)
        {
            return false;
        }
        ++rowKey;
    }
    return *rowKey == '\0';
}

std::span<const RegistryRecord> registryFor(std::string_view prefix)
{
    if (prefix.size() == 4)
    {
        if (prefix == "Base")
        {
            return baseRegistry;
        }
        if (prefix == "Quor")
        {
            return quorRegistry;
        }
    }
    else if (prefix.size() == 7 && prefix == "OpenBMC")
    {
        return openbmcRegistry;
    }
    return {};
}

// The first four fields of a MessageId, split at every "." with adjacent
// dots giving empty fields; fields past the key are never needed. Views into
// the MessageId, so one lookup per event log line allocates nothing.
struct MessageIdFields
{
    std::array<std::string_view, 4> fields;
    std::size_t count = 0;
};

MessageIdFields splitMessageId(std::string_view messageId)
{
    MessageIdFields split;
    std::size_t start = 0;
    while (split.count < split.fields.size())
    {
        const auto dot = messageId.find('.', start);
        split.fields[split.count++] = messageId.substr(start, dot - start);
        if (dot == std::string_view::npos)
        {
            break;
        }
        start = dot + 1;
    }
    return split;
}

} // namespace

const RegistryMessage* findRegistryMessage(std::string_view messageId)
{
    const auto [fields, count] = splitMessageId(messageId);
    // Prefix, major, minor, key: anything shorter names no message.
    if (count < fields.size())
    {
        return nullptr;
    }
    const std::string_view key = fields[3];
    // Most rows differ from the key in their first byte: testing that byte
    // alone first keeps the walk over a large table to a load and a compare
    // per row.
    const char first = key.empty() ? '\0' : key.front();
    for (const RegistryRecord& row : registryFor(fields[0]))
    {
        if (row.key[0] == first && keyEquals(key, row.key))
        {
            return &row.message;
        }
    }
    return nullptr;
}

} // namespace tidewatch
