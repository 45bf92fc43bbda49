#include "registries/registry.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <span>
#include <string_view>
#include <vector>

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

} // namespace

const RegistryMessage* findRegistryMessage(std::string_view messageId)
{
    std::vector<std::string_view> fields;
    boost::split(fields, messageId, boost::is_any_of("."),
                 boost::token_compress_off);
    // Prefix, major, minor, key: anything shorter names no message.
    if (fields.size() < 4)
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
