#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tidewatch
{

// One registered Redfish message. Only `severity` drives the service; the
// other fields keep each row a complete registry message.
struct RegistryMessage
{
    const char* description;
    const char* message;
    const char* severity;
    std::size_t argCount;
    std::array<const char*, 7> argTypes;
    const char* resolution;
};

// One row of a registry table: the message key (fourth field of a
// MessageId) and its message.
struct RegistryRecord
{
    const char* key;
    RegistryMessage message;
};

inline constexpr std::size_t baseRegistrySize = 104;
inline constexpr std::size_t openbmcRegistrySize = 191;
inline constexpr std::size_t quorRegistrySize = 969;

extern const std::array<RegistryRecord, baseRegistrySize> baseRegistry;
extern const std::array<RegistryRecord, openbmcRegistrySize> openbmcRegistry;
extern const std::array<RegistryRecord, quorRegistrySize> quorRegistry;

// A table's keys in ascending byte order, each with the number of its row:
// a lookup halves this small array rather than walking the rows.
struct RegistryKey
{
    const char* key;
    std::uint16_t row;
};

extern const std::array<RegistryKey, baseRegistrySize> baseRegistryKeys;
extern const std::array<RegistryKey, openbmcRegistrySize> openbmcRegistryKeys;
extern const std::array<RegistryKey, quorRegistrySize> quorRegistryKeys;

// The longest registry prefix ("OpenBMC") and the longest key; the generator
// refuses a longer key. A longer field names nothing, so a reader of a
// MessageId need keep no more of either.
inline constexpr std::size_t registryPrefixLimit = 7;
inline constexpr std::size_t registryKeyLimit = 43;

// The message registered under `key` in the registry named `prefix`, or null
// when there is none. The pointer refers into a static table.
const RegistryMessage* findRegistryMessage(std::string_view prefix,
                                           std::string_view key);

// The same for a whole MessageId ("Prefix.Major.Minor.Key"): its first and
// fourth dot-separated fields; any version matches, later fields are ignored.
const RegistryMessage* findRegistryMessage(std::string_view messageId);

} // namespace tidewatch
