#include "eventlog/scan.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

namespace fs = std::filesystem;

const std::string critical = "1970-01-01T00:00:13.052207+00:00 "
                             "Base.1.0.InternalError\n";
const std::string warning = "1970-01-01T00:00:13.052207+00:00 "
                            "OpenBMC.0.1.PowerSupplyFailed,PSU1\n";

std::string repeat(const std::string& line, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
    {
        text += line;
    }
    return text;
}

class ScanTest : public testing::Test
{
  protected:
    ScanTest()
    {
        std::string pattern =
            (fs::temp_directory_path() / "tidewatch-scan-XXXXXX").string();
        directory = mkdtemp(pattern.data());
    }
    ~ScanTest() override
    {
        fs::remove_all(directory);
    }

    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(directory / name, std::ios::binary) << text;
    }

    std::vector<std::string> listedNames()
    {
        std::vector<std::string> names;
        for (const auto& path : listEventLogFiles(directory))
        {
            EXPECT_EQ(path.parent_path(), directory);
            names.push_back(path.filename());
        }
        return names;
    }

    fs::path directory;
};

TEST_F(ScanTest, ListsEveryEntryWhoseNameStartsWithThePrefix)
{
    for (const char* name : {"redfish", "redfish.1", "redfish.1.gz", "redfishX",
                             "redfish-old", "redfish.10", "redfish.2",
                             "Redfish", "redfis", "myredfish", "old.redfish"})
    {
        write(name, "");
    }
    fs::create_directory(directory / "redfish.d");
    fs::create_symlink("nowhere", directory / "redfish.9");

    EXPECT_THAT(listedNames(),
                testing::ElementsAre("redfish", "redfish-old", "redfish.1",
                                     "redfish.1.gz", "redfish.10", "redfish.2",
                                     "redfish.9", "redfish.d", "redfishX"));
}

TEST_F(ScanTest, EmptyOrUnrelatedDirectoryIsNotCritical)
{
    EXPECT_FALSE(hasCriticalEvent(directory));
    write("messages", critical);
    EXPECT_FALSE(hasCriticalEvent(directory));
}

TEST_F(ScanTest, MissingDirectoryThrows)
{
    EXPECT_THROW(hasCriticalEvent(directory / "absent"), fs::filesystem_error);
    write("redfish", critical);
    EXPECT_THROW(hasCriticalEvent(directory / "redfish"), fs::filesystem_error);
}

TEST_F(ScanTest, FindsCriticalLineInAnyFile)
{
    write("redfish.1", warning + critical + warning);
    write("redfish", warning);
    EXPECT_TRUE(hasCriticalEvent(directory));
    EXPECT_TRUE(hasCriticalEvent(directory)); // nothing carries over
}

TEST_F(ScanTest, LineLimitRunsAcrossFilesInDescendingPathOrder)
{
    // Walk order: redfish.2, redfish.10, redfish.1, redfish.
    write("redfish.2", repeat(warning, 600));
    write("redfish.10", repeat(warning, 500));
    write("redfish", critical);
    EXPECT_FALSE(hasCriticalEvent(directory)); // line 1100 of the walk

    write("redfish.10", repeat(warning, 399) + critical);
    EXPECT_TRUE(hasCriticalEvent(directory)); // line 999

    write("redfish.10", repeat(warning, 400) + critical);
    EXPECT_FALSE(hasCriticalEvent(directory)); // line 1000

    write("redfish.10", repeat("\n", 400) + critical);
    EXPECT_FALSE(hasCriticalEvent(directory)); // empty lines count too

    write("redfish.1", critical);
    EXPECT_FALSE(hasCriticalEvent(directory)); // redfish.1 comes after .10
}

TEST_F(ScanTest, UnreadableEntriesAreSkipped)
{
    fs::create_symlink("nowhere", directory / "redfish.3");
    fs::create_directory(directory / "redfish.2");
    fs::create_symlink("redfish.1", directory / "redfish.1"); // a loop
    write("redfish", critical);
    EXPECT_TRUE(hasCriticalEvent(directory));
}

TEST_F(ScanTest, LinesEndOnlyAtNewline)
{
    write("redfish", "ts Base.1.0.InternalError"); // no final newline
    EXPECT_TRUE(hasCriticalEvent(directory));

    write("redfish", "ts Base.1.0.InternalError\r\n"); // the CR stays
    EXPECT_FALSE(hasCriticalEvent(directory));

    write("redfish", "ts Base.1.0.InternalError,\r\n");
    EXPECT_TRUE(hasCriticalEvent(directory));
}

TEST_F(ScanTest, LongLinesSpanReadChunks)
{
    // Lines longer than any read buffer are still whole lines.
    const std::string longArgument(200000, 'x');
    write("redfish", "ts OpenBMC.0.1.PowerSupplyFailed," + longArgument +
                         "\nts Base.1.0.InternalError," + longArgument + "\n");
    EXPECT_TRUE(hasCriticalEvent(directory));

    write("redfish", longArgument + " Base.1.0.InternalError");
    EXPECT_TRUE(hasCriticalEvent(directory));
}

} // namespace
} // namespace tidewatch
