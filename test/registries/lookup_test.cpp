#include "registries/registry.hpp"

#include <string_view>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

struct LookupCase
{
    std::string_view messageId;
    const char* severity; // null: no registered message
};

class FindRegistryMessageTest : public testing::TestWithParam<LookupCase>
{};

TEST_P(FindRegistryMessageTest, ResolvesPrefixAndKey)
{
    const RegistryMessage* message = findRegistryMessage(GetParam().messageId);
    if (GetParam().severity == nullptr)
    {
        EXPECT_EQ(message, nullptr);
    }
    else
    {
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message->severity, GetParam().severity);
    }
}

INSTANTIATE_TEST_SUITE_P(
    MessageIds, FindRegistryMessageTest,
    testing::Values(
        LookupCase{"Base.1.8.AccessDenied", "Critical"},
        LookupCase{"Base.9.99.AccessDenied", "Critical"},
        LookupCase{"Base.1..AccessDenied", "Critical"},
        LookupCase{"Base.1.8.AccessDenied.Extra", "Critical"},
        LookupCase{"Base.1.8.Success", "OK"},
        LookupCase{"OpenBMC.0.1.ADDDCCorrectable", "Warning"},
        LookupCase{"OpenBMC.0.1.SystemPowerOnFailed", "Critical"},
        LookupCase{"Quor.1.0.AMP0300", "Warning"},
        LookupCase{"Quor.1.0.AMP0301", "Critical"},
        LookupCase{"Quor.1.0.AMP0305", "OK"},
        // No fallback from one registry to another.
        LookupCase{"OpenBMC.0.1.AccessDenied", nullptr},
        LookupCase{"Quor.1.0.AccessDenied", nullptr},
        // Prefix and key are compared whole and exactly.
        LookupCase{"base.1.8.AccessDenied", nullptr},
        LookupCase{"BASE.1.8.AccessDenied", nullptr},
        LookupCase{"Bases.1.8.AccessDenied", nullptr},
        LookupCase{"Bas.1.8.AccessDenied", nullptr},
        LookupCase{"OpenBMc.0.1.SystemPowerOnFailed", nullptr},
        LookupCase{"Base.1.8.accessdenied", nullptr},
        LookupCase{"Base.1.8.AccessDenie", nullptr},
        LookupCase{"Base.1.8.AccessDeniedX", nullptr},
        LookupCase{"Base.1.8.AccessDenied ", nullptr},
        LookupCase{"Base.1.8.Access.Denied", nullptr},
        LookupCase{"OpenBMC.0.1.SystemPowerOnFailedX", nullptr},
        LookupCase{"Quor.1.0.AMP300", nullptr},
        LookupCase{"Quor.1.0.amp0300", nullptr},
        LookupCase{std::string_view("Base.1.8.AccessDenied\0", 22), nullptr},
        // Too few fields, or empty ones where they matter.
        LookupCase{".1.8.AccessDenied", nullptr},
        LookupCase{"Base.1.8.", nullptr},
        LookupCase{"Base.AccessDenied", nullptr}, LookupCase{"", nullptr}));

TEST(FindRegistryMessage, ReadsOnlyTheGivenBytes)
{
    // The view is not NUL-terminated: the lookup must stop at its length.
    constexpr std::string_view line = "Base.1.8.AccessDeniedTrailing";
    const RegistryMessage* message =
        findRegistryMessage(line.substr(0, line.find("Trailing")));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message, &baseRegistry.front().message);
}

} // namespace
} // namespace tidewatch
