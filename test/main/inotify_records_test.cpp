#include "main/inotify_records.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace
{
namespace fs = std::filesystem;

std::size_t triggers(std::span<const std::byte> records)
{
    std::size_t count = 0;
    tidewatch::forEachTriggerRecord(records, [&count] { ++count; });
    return count;
}

// Records as this kernel lays them out for this architecture (run under
// qemu-arm, 32-bit ARM's): names of 1 to 35 bytes padded to different
// lengths, a creation and a modification each, the deletion last.
TEST(ForEachTriggerRecord, CountsTheRecordsNamedExactlyRedfish)
{
    std::string pattern = fs::temp_directory_path() / "tidewatch-XXXXXX";
    const fs::path directory = mkdtemp(pattern.data());
    const int inotify = inotify_init();
    inotify_add_watch(inotify, directory.c_str(),
                      IN_MODIFY | IN_CREATE | IN_DELETE);
    for (const char* name : {"r", "redfish.1", "Redfish", "xredfish", "redfish",
                             "redfish-rotated-by-logrotate-000001"})
    {
        std::ofstream(directory / name) << "line\n";
    }
    fs::remove(directory / "redfish");
    alignas(inotify_event) std::array<std::byte, 32768> buffer{};
    const ssize_t size = read(inotify, buffer.data(), buffer.size());
    close(inotify);
    fs::remove_all(directory);
    ASSERT_GT(size, 0);
    const auto records =
        std::span(buffer).first(static_cast<std::size_t>(size));
    EXPECT_EQ(triggers(records), 3U);
    // A last record cut short, even inside its header, ends the walk there.
    EXPECT_EQ(triggers(records.first(records.size() - 1)), 2U);
    EXPECT_EQ(triggers(records.first(sizeof(inotify_event) - 1)), 0U);
}

} // namespace
