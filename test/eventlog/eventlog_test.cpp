#include "eventlog/entry.hpp"
#include "eventlog/scan.hpp"

#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;
namespace fs = std::filesystem;

// Line shapes around a few critical MessageIds; which MessageIds the
// registries hold, and with what severity, is the registries test's matter.
TEST(IsCriticalEntry, JudgesTheMessageIdAfterTheFirstBlank)
{
    // Any timestamp, blanks acting as one, any arguments after a comma: a run
    // of commas, blanks or a CR in them.
    for (const char* line :
         {"ts Base.1.0.InternalError", " Base.1.0.InternalError",
          "ts    Base.1.0.InternalError", "ts OpenBMC.0.1.CPUThermalTrip,1",
          "ts OpenBMC.0.1.CPUThermalTrip,,,", "ts Quor.1.0.AMP0301,a b, c ",
          "ts Base.1.0.InternalError,\r"})
    {
        EXPECT_TRUE(isCriticalEntry(line)) << line;
    }
    // A tab is no separator; a blank or CR after the MessageId is part of its
    // key; a leading comma leaves it empty; no entry text at all.
    for (const char* line :
         {"ts\tBase.1.0.InternalError", "ts \tBase.1.0.InternalError",
          "ts Base.1.0.InternalError ", "ts Base.1.0.InternalError\r",
          "ts ,Base.1.0.InternalError", "", "1970-01-01T00:00:13.052207+00:00",
          "ts   "})
    {
        EXPECT_FALSE(isCriticalEntry(line)) << line;
    }
}

fs::path makeDirectory()
{
    std::string pattern = fs::temp_directory_path() / "tidewatch-scan-XXXXXX";
    return mkdtemp(pattern.data());
}

std::string warnings(int count)
{
    std::string lines;
    while (count-- > 0)
    {
        lines += "ts OpenBMC.0.1.PowerSupplyFailed,PSU1\n";
    }
    return lines;
}

// Lines without their newline.
const std::string critical = "ts Base.1.0.InternalError";
const std::string ok = "ts Base.1.0.Success";

TEST(HasCriticalEvent, JudgesTheFirst1000LinesOfTheWalk)
{
    // Files in walk order: descending path order.
    const std::array<const char*, 4> names{"redfish.2", "redfish.10",
                                           "redfish.1", "redfish"};
    const std::string longArgument(200000, 'x'); // longer than a read chunk
    const std::pair<std::array<std::string, 4>, bool> cases[] = {
        // Line 999 after a last line without newline, then the same entry as
        // line 1000; a line 1000 only if redfish.2 is read first; line 1100.
        {{warnings(600), warnings(398) + ok, critical + '\n'}, true},
        {{warnings(600), warnings(399) + ok, critical + '\n'}, false},
        {{warnings(600), warnings(400) + critical + '\n'}, false},
        {{warnings(600), warnings(500), "", critical + '\n'}, false},
        // A file of one byte is one line too.
        {{warnings(600), warnings(399), "\n", critical + '\n'}, false},
        // Empty lines count; a last line without newline is judged, but not
        // past the window.
        {{warnings(600), std::string(400, '\n') + critical}, false},
        {{"", "", "", warnings(1) + critical}, true},
        {{"", "", "", critical + "\r\n"}, false}, // the CR stays
        {{"", "", "",
          ok + ',' + longArgument + '\n' + critical + ',' + longArgument +
              '\n'},
         true},
    };
    for (const auto& [files, isCritical] : cases)
    {
        const fs::path directory = makeDirectory();
        for (std::size_t file = 0; file < names.size(); ++file)
        {
            std::ofstream(directory / names.at(file)) << files.at(file);
        }
        EXPECT_EQ(hasCriticalEvent(directory), isCritical)
            << "case " << &files - &cases[0].first;
        fs::remove_all(directory);
    }
}

TEST(HasCriticalEvent, ReadsEveryEntryNamedRedfishThatOpens)
{
    const fs::path directory = makeDirectory();
    for (const char* name : {"Redfish", "redfis", "myredfish", "old.redfish"})
    {
        std::ofstream(directory / name) << critical << '\n'; // not listed
    }
    for (const char* name : {"redfish", "redfish.1", "redfish.1.gz", "redfishX",
                             "redfish-old", "redfish.10"})
    {
        std::ofstream(directory / name) << "";
    }
    fs::create_directory(directory / "redfish.d");
    fs::create_symlink("nowhere", directory / "redfish.9");
    fs::create_symlink("redfish.8", directory / "redfish.8"); // a loop
    mkfifo((directory / "redfish.p").c_str(), 0600);          // must not block
    std::vector<std::string> names;
    for (const fs::path& path : listEventLogFiles(directory))
    {
        names.push_back(path.filename());
    }
    EXPECT_THAT(names, testing::ElementsAre(
                           "redfish", "redfish-old", "redfish.1",
                           "redfish.1.gz", "redfish.10", "redfish.8",
                           "redfish.9", "redfish.d", "redfish.p", "redfishX"));

    EXPECT_FALSE(hasCriticalEvent(directory));
    std::ofstream(directory / "redfish") << critical << '\n'; // read last
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    EXPECT_TRUE(hasCriticalEvent(directory));
    EXPECT_EQ(openFiles(), filesBefore); // every file closed again
    EXPECT_THROW(hasCriticalEvent(directory / "absent"), fs::filesystem_error);
    EXPECT_THROW(hasCriticalEvent(directory / "redfish"), fs::filesystem_error);
    fs::remove_all(directory);
}

} // namespace
