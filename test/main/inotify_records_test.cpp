#include "main/inotify_records.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;
namespace fs = std::filesystem;

std::size_t triggers(std::span<const std::byte> records)
{
    std::size_t count = 0;
    forEachTriggerRecord(records, [&count] { ++count; });
    return count;
}

// Records as this kernel lays them out for this architecture (run under
// qemu-arm, 32-bit ARM's), read into a buffer like the service's.
TEST(ForEachTriggerRecord, CountsTheRecordsNamedExactlyRedfish)
{
    std::string pattern = fs::temp_directory_path() / "tidewatch-XXXXXX";
    const fs::path directory = mkdtemp(pattern.data());
    fs::create_directory(directory / "old");
    const int inotify = inotify_init();
    const int oldWatch = inotify_add_watch(inotify, (directory / "old").c_str(),
                                           IN_MODIFY | IN_CREATE | IN_DELETE);
    inotify_add_watch(inotify, directory.c_str(),
                      IN_MODIFY | IN_CREATE | IN_DELETE);
    // A creation and a modification each, names of 1 to 40 bytes padded to
    // different lengths; removing a watch queues a record without a name.
    std::ofstream(directory / "old" / "redfish") << "line\n";
    inotify_rm_watch(inotify, oldWatch);
    for (const char* name : {"r", "redfish.1", "Redfish", "redfis", "xredfish",
                             "redfish", "redfish-rotated-by-logrotate-000001"})
    {
        std::ofstream(directory / name) << "line\n";
    }
    fs::remove(directory / "redfish"); // the last record
    alignas(inotify_event) std::array<std::byte, 32768> buffer{};
    const ssize_t size = read(inotify, buffer.data(), buffer.size());
    close(inotify);
    fs::remove_all(directory);
    ASSERT_GT(size, 0);
    const auto records =
        std::span(buffer).first(static_cast<std::size_t>(size));

    EXPECT_EQ(triggers(records), 5U);
    // A record cut short, or one whose length claims more than was read,
    // stops the walk.
    EXPECT_EQ(triggers(records.first(records.size() - 1)), 4U);
    EXPECT_EQ(triggers(records.first(sizeof(inotify_event) - 1)), 0U);
    std::uint32_t length = 0xffffffffU;
    std::memcpy(records.data() + offsetof(inotify_event, len), &length,
                sizeof(length));
    EXPECT_EQ(triggers(records), 0U);
}

} // namespace
