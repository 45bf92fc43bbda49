#include "main/inotify_records.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

namespace fs = std::filesystem;

// Records as this kernel lays them out for this architecture, read into a
// buffer like the service's: the walk must step over names of every padded
// length and reach the last record, on 32-bit ARM as on x86-64.
TEST(ForEachTriggerRecord, WalksTheRecordsOfARealInotifyRead)
{
    std::string pattern =
        (fs::temp_directory_path() / "tidewatch-inotify-XXXXXX").string();
    const fs::path directory = mkdtemp(pattern.data());
    const int descriptor = inotify_init();
    ASSERT_GE(descriptor, 0);
    ASSERT_GE(inotify_add_watch(descriptor, directory.c_str(),
                                IN_MODIFY | IN_CREATE | IN_DELETE),
              0);

    // Each new file queues a creation and a modification record; names run
    // from 1 to 40 bytes so the padded lengths differ.
    for (const char* name : {"r", "redfish.1", "redfish", "Redfish", "redfis",
                             "redfish-rotated-by-logrotate-0000000001"})
    {
        std::ofstream(directory / name) << "line\n";
    }
    fs::remove(directory / "redfish"); // the last record, and a trigger

    alignas(inotify_event) std::array<std::byte, 32768> buffer{};
    const ssize_t count = read(descriptor, buffer.data(), buffer.size());
    close(descriptor);
    fs::remove_all(directory);
    ASSERT_GT(count, 0);

    std::size_t triggers = 0;
    forEachTriggerRecord(
        std::span(buffer).first(static_cast<std::size_t>(count)),
        [&triggers] { ++triggers; });
    EXPECT_EQ(triggers, 3U); // created, modified and deleted "redfish"
}

} // namespace
} // namespace tidewatch
