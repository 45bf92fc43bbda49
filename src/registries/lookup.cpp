#include "registries/registry.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace tidewatch
{

namespace
{

struct Registry
{
    std::string_view prefix;
    std::span<const RegistryRecord> rows;
    std::span<const RegistryKey> keys;
};

constexpr std::array<Registry, 3> registries{{
    {"Base", baseRegistry, baseRegistryKeys},
    {"Quor", quorRegistry, quorRegistryKeys},
    {"OpenBMC", openbmcRegistry, openbmcRegistryKeys},
}};
static_assert(std::ranges::all_of(registries, [](const Registry& registry) {
    return registry.prefix.size() <= registryPrefixLimit;
}));

// The byte order of a registry key against `key`: negative, zero or positive.
// The registry key is never read past its end, and a key with a NUL in it
// never equals one.
int compareKey(const char* registryKey, std::string_view key)
{
    for (const char c : key)
    {
        const auto byte = static_cast<unsigned char>(*registryKey);
        if (byte == 0 || byte != static_cast<unsigned char>(c))
        {
            return byte < static_cast<unsigned char>(c) ? -1 : 1;
        }
        ++registryKey;
    }
    return *registryKey == '\0' ? 0 : 1;
}

} // namespace

const RegistryMessage* findRegistryMessage(std::string_view prefix,
                                           std::string_view key)
{
    const auto* const registry =
        std::ranges::find(registries, prefix, &Registry::prefix);
    if (registry == registries.end())
    {
        return nullptr;
    }
    const auto keys = registry->keys;
    const auto found =
        std::ranges::partition_point(keys, [key](const RegistryKey& candidate) {
            return compareKey(candidate.key, key) < 0;
        });
    return found != keys.end() && compareKey(found->key, key) == 0
               ? &registry->rows[found->row].message
               : nullptr;
}

const RegistryMessage* findRegistryMessage(std::string_view messageId)
{
    // Prefix, major, minor, key: split at every "." with adjacent dots giving
    // empty fields; anything shorter names no message.
    std::array<std::string_view, 4> fields;
    std::size_t count = 0;
    while (count < fields.size())
    {
        const auto dot = messageId.find('.');
        fields.at(count++) = messageId.substr(0, dot);
        if (dot == std::string_view::npos)
        {
            break;
        }
        messageId.remove_prefix(dot + 1);
    }
    return count == fields.size() ? findRegistryMessage(fields[0], fields[3])
                                  : nullptr;
}

} // namespace tidewatch
