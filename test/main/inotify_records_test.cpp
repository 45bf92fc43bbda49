#include "main/inotify_records.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

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
// lengths, a creation and a modification each, the deletion, and last the
// watch's removal (IN_IGNORED), which has no name. The walk gets a heap copy
// of exactly what read() returned, so a sanitizer sees a read past its end.
TEST(ForEachTriggerRecord, CountsTheRecordsNamedExactlyRedfish)
{
    std::string pattern = fs::temp_directory_path() / "tidewatch-XXXXXX";
    const fs::path directory = mkdtemp(pattern.data());
    const int inotify = inotify_init();
    const int watch = inotify_add_watch(inotify, directory.c_str(),
                                        IN_MODIFY | IN_CREATE | IN_DELETE);
    for (const char* name : {"r", "redfish.1", "Redfish", "xredfish", "redfish",
                             "redfish-rotated-by-logrotate-000001"})
    {
        std::ofstream(directory / name) << "line\n";
    }
    fs::remove(directory / "redfish");
    inotify_rm_watch(inotify, watch);
    alignas(inotify_event) std::array<std::byte, 32768> buffer{};
    const ssize_t size = read(inotify, buffer.data(), buffer.size());
    close(inotify);
    fs::remove_all(directory);
    ASSERT_GT(size, 0);
    const std::vector<std::byte> bytes(buffer.begin(), buffer.begin() + size);
    inotify_event last{};
    std::memcpy(&last, &bytes[bytes.size() - sizeof(last)], sizeof(last));
    ASSERT_EQ(last.mask, IN_IGNORED);
    const auto records = std::span(bytes);
    EXPECT_EQ(triggers(records), 3U);
    // A last record cut short, even inside its header, ends the walk there.
    const auto deletion = records.first(bytes.size() - sizeof(last));
    EXPECT_EQ(triggers(deletion.first(deletion.size() - 1)), 2U);
    EXPECT_EQ(triggers(records.first(sizeof(inotify_event) - 1)), 0U);
}

} // namespace
