#include "eventlog/entry.hpp"

#include <string>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

struct EntryCase
{
    const char* name;
    std::string line;
    bool critical;
};

class IsCriticalEntryTest : public testing::TestWithParam<EntryCase>
{};

TEST_P(IsCriticalEntryTest, JudgesLineByItsMessageId)
{
    EXPECT_EQ(isCriticalEntry(GetParam().line), GetParam().critical);
}

const std::string stamp = "1970-01-01T00:00:13.052207+00:00 ";

INSTANTIATE_TEST_SUITE_P(
    Lines, IsCriticalEntryTest,
    testing::Values(
        EntryCase{"NoComma", stamp + "Base.1.0.InternalError", true},
        EntryCase{"OneArgument", stamp + "OpenBMC.0.1.CPUThermalTrip,1", true},
        EntryCase{"NoArgument", stamp + "OpenBMC.0.1.CPUThermalTrip,", true},
        EntryCase{"ThreeArguments", stamp + "OpenBMC.0.1.CPUThermalTrip,1,2,3",
                  true},
        EntryCase{"RunOfCommas", stamp + "OpenBMC.0.1.CPUThermalTrip,,,", true},
        EntryCase{"ArgumentWithBlanks", stamp + "Quor.1.0.AMP0301,a b, c ",
                  true},
        EntryCase{"Warning", stamp + "OpenBMC.0.1.PowerSupplyFailed,PSU1",
                  false},
        EntryCase{"Ok", stamp + "Base.1.0.Success", false},
        EntryCase{"Unregistered", stamp + "Base.1.0.NoSuchKey,", false},
        EntryCase{"SeveralBlanks", "ts    Base.1.0.InternalError", true},
        EntryCase{"LeadingBlank", " Base.1.0.InternalError", true},
        EntryCase{"AnyTimestamp", "whatever Base.1.0.InternalError", true},
        EntryCase{"TabOnly", "ts\tBase.1.0.InternalError", false},
        EntryCase{"BlankThenTab", "ts \tBase.1.0.InternalError", false},
        EntryCase{"TrailingBlank", "ts Base.1.0.InternalError ", false},
        EntryCase{"TrailingCarriageReturn", "ts Base.1.0.InternalError\r",
                  false},
        EntryCase{"CarriageReturnInArgument", "ts Base.1.0.InternalError,\r",
                  true},
        EntryCase{"LeadingComma", "ts ,Base.1.0.InternalError", false},
        EntryCase{"Empty", "", false},
        EntryCase{"TimestampOnly", "1970-01-01T00:00:13.052207+00:00", false},
        EntryCase{"TimestampAndBlanks", "ts   ", false},
        EntryCase{"EmbeddedNul",
                  std::string("ts Base.1.0.InternalError\0,", 27), false}),
    [](const auto& testInfo) { return testInfo.param.name; });

} // namespace
} // namespace tidewatch
