#include "main/inotify_records.hpp"

#include <sys/inotify.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

// Lays records out as the kernel does: header, then the name NUL-padded to
// `len` bytes.
std::vector<std::byte> records(const std::vector<std::string>& names,
                               std::uint32_t padTo = 16)
{
    std::vector<std::byte> bytes;
    for (const auto& name : names)
    {
        inotify_event header{};
        header.mask = IN_MODIFY;
        header.len =
            name.empty()
                ? 0
                : static_cast<std::uint32_t>((name.size() / padTo + 1) * padTo);
        const auto* raw = reinterpret_cast<const std::byte*>(&header);
        bytes.insert(bytes.end(), raw, raw + sizeof(header));
        const std::size_t start = bytes.size();
        bytes.resize(start + header.len);
        std::memcpy(bytes.data() + start, name.data(), name.size());
    }
    return bytes;
}

std::size_t triggers(std::span<const std::byte> bytes)
{
    std::size_t count = 0;
    forEachTriggerRecord(bytes, [&count] { ++count; });
    return count;
}

TEST(ForEachTriggerRecord, OnlyTheExactNameTriggers)
{
    EXPECT_EQ(triggers(records({"redfish"})), 1U);
    EXPECT_EQ(triggers(records({"redfish.1", "redfish.tmp", "Redfish", "redfis",
                                "xredfish", "messages"})),
              0U);
}

TEST(ForEachTriggerRecord, EveryMatchingRecordTriggersOnce)
{
    EXPECT_EQ(triggers(records({"redfish", "redfish.1", "redfish", "redfish"})),
              3U);
}

TEST(ForEachTriggerRecord, NamelessRecordsArePassedOver)
{
    // A queue overflow or watch removal has len 0; the walk goes on.
    EXPECT_EQ(triggers(records({"", "redfish", ""})), 1U);
}

TEST(ForEachTriggerRecord, NameLengthCountsThePadding)
{
    EXPECT_EQ(triggers(records({"redfish", "redfish"}, 32)), 2U);
    EXPECT_EQ(triggers(records({"redfish"}, 8)), 1U);
}

TEST(ForEachTriggerRecord, TruncatedRecordsStopTheWalk)
{
    auto bytes = records({"redfish", "redfish"});
    EXPECT_EQ(triggers(std::span(bytes).first(bytes.size() - 1)), 1U);
    EXPECT_EQ(triggers(std::span(bytes).first(sizeof(inotify_event) - 1)), 0U);
    EXPECT_EQ(triggers({}), 0U);

    // A length that claims more than was read must not be followed.
    std::uint32_t huge = 0xffffffffU;
    std::memcpy(bytes.data() + offsetof(inotify_event, len), &huge,
                sizeof(huge));
    EXPECT_EQ(triggers(bytes), 0U);
}

} // namespace
} // namespace tidewatch
