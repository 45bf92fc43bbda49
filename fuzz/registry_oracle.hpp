#pragma once

#include "registries/registry.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace tidewatch
{

// A second, deliberately plain reading of how a MessageId names a registry
// row: fields cut by an index walk, rows compared as whole views. It shares
// no code with the lookup, so the two only agree when both are right.
inline const RegistryRecord* oracleRow(std::string_view messageId)
{
    std::vector<std::string_view> fields;
    std::size_t fieldStart = 0;
    for (std::size_t i = 0; i <= messageId.size(); ++i)
    {
        if (i == messageId.size() || messageId[i] == '.')
        {
            fields.push_back(messageId.substr(fieldStart, i - fieldStart));
            fieldStart = i + 1;
        }
    }
    if (fields.size() < 4)
    {
        return nullptr;
    }

    struct Registry
    {
        std::string_view prefix;
        std::span<const RegistryRecord> rows;
    };
    const std::array<Registry, 3> registries{{
        {"Base", baseRegistry},
        {"OpenBMC", openbmcRegistry},
        {"Quor", quorRegistry},
    }};
    for (const Registry& registry : registries)
    {
        if (registry.prefix != fields[0])
        {
            continue;
        }
        for (const RegistryRecord& row : registry.rows)
        {
            if (std::string_view(row.key) == fields[3])
            {
                return &row;
            }
        }
    }
    return nullptr;
}

} // namespace tidewatch
