#pragma once

#include <array>
#include <cstddef>
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

// Resolves a MessageId ("Prefix.Major.Minor.Key") to its registered message,
// or null when no registry holds it. The pointer refers into a static table.
const RegistryMessage* findRegistryMessage(std::string_view messageId);

} // namespace tidewatch
