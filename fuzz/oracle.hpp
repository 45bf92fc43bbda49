#pragma once

// Second, deliberately plain readings of what the service's pure parts must
// compute. They share no code with the service, so the two agree only when
// both are right.

#include "registries/registry.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewatch
{

// A broken property is a finding: say which one and crash, so that libFuzzer
// keeps the input.
inline void requireProperty(bool holds, const char* property)
{
    if (!holds)
    {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

// The row a MessageId names: its first dot-separated field picks the
// registry, its fourth the row, both compared whole.
inline const RegistryRecord* oracleRow(std::string_view messageId)
{
    std::vector<std::string> fields(1);
    for (const char c : messageId)
    {
        if (c == '.')
        {
            fields.emplace_back();
            continue;
        }
        fields.back() += c;
    }
    const std::pair<std::string_view, std::span<const RegistryRecord>>
        registries[] = {{"Base", baseRegistry},
                        {"OpenBMC", openbmcRegistry},
                        {"Quor", quorRegistry}};
    for (const auto& [prefix, rows] : registries)
    {
        for (const RegistryRecord& row : rows)
        {
            if (fields.size() >= 4 && fields[0] == prefix &&
                fields[3] == row.key)
            {
                return &row;
            }
        }
    }
    return nullptr;
}

// A blank-separated timestamp, then the entry text, whose first comma-field
// is the MessageId; nothing else of the line counts.
inline bool oracleIsCritical(std::string_view line)
{
    const auto blank = std::find(line.begin(), line.end(), ' ');
    const auto start =
        std::find_if(blank, line.end(), [](char c) { return c != ' '; });
    const std::string_view entry(start, line.end());
    const RegistryRecord* row = oracleRow(entry.substr(0, entry.find(',')));
    const std::string_view severity = row ? row->message.severity : "";
    return severity == "Critical" || severity == "critical";
}

// The kernel's record layout walked with 64-bit offsets: a 16-byte header
// whose last 32-bit word is the name length, then that many name bytes.
inline std::size_t oracleTriggerCount(std::span<const std::byte> bytes)
{
    std::size_t count = 0;
    for (std::uint64_t offset = 0; offset + 16 <= bytes.size();)
    {
        std::uint32_t length = 0;
        std::memcpy(&length, bytes.data() + offset + 12, sizeof(length));
        if (offset + 16 + length > bytes.size())
        {
            break;
        }
        const auto* name = reinterpret_cast<const char*>(bytes.data()) +
                           static_cast<std::size_t>(offset + 16);
        count += std::string_view(name, std::find(name, name + length, '\0')) ==
                 "redfish";
        offset += 16 + length;
    }
    return count;
}

} // namespace tidewatch
