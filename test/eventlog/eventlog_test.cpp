#include "eventlog/entry.hpp"
#include "eventlog/scan.hpp"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace
{
using namespace tidewatch;
using namespace std::string_literals;
namespace fs = std::filesystem;

// Lines without their newline.
const std::string critical = "ts Base.1.0.InternalError";
const std::string ok = "ts Base.1.0.Success";

// MessageIds, each looked up alone and judged in a line, first the critical
// ones: any version, even an empty or a long one; fields after the key; the
// longest key (registryKeyLimit bytes). Then those of messages not critical
// or of none: no fallback to another registry; prefix and key compared whole
// and byte for byte, also when longer than any; fewer than four fields.
// Then line shapes around a critical MessageId: any timestamp; blanks act as
// one; arguments (a run of commas, blanks or a CR in them) do not count. A
// tab is no separator; a blank or CR after the MessageId is part of its key;
// a leading comma leaves it empty; no entry text at all.
TEST(IsCriticalEntry, JudgesTheMessageIdAfterTheFirstBlank)
{
    const std::string longest =
        "OpenBMC.0.1.PCIeFatalReceivedFatalMessageFromDownstream";
    const std::pair<std::vector<std::string>, bool> messageIds[] = {
        {{"Base.1.8.AccessDenied", "Base.1..AccessDenied",
          "Base.1." + std::string(100000, '7') + ".AccessDenied",
          "Base.1.8.AccessDenied.Extra", longest, "Quor.1.0.AMP0301",
          "OpenBMC.0.1.SystemPowerOnFailed"},
         true},
        {{"Base.1.8.Success", "OpenBMC.0.1.ADDDCCorrectable",
          "Quor.1.0.AMP0300", "OpenBMC.0.1.AccessDenied",
          "Quor.1.0.AccessDenied", "base.1.8.AccessDenied",
          "Bases.1.8.AccessDenied", "Bas.1.8.AccessDenied",
          "OpenBMCx.0.1.SystemPowerOnFailed", "Base.1.8.Accessdenied",
          "Base.1.8.AccessDenie", "Base.1.8.AccessDeniedX",
          "Base.1.8.Access.Denied", "Quor.1.0.AMP300", ".1.8.AccessDenied",
          "Base.1.8.", "Base.AccessDenied", ""},
         false},
        {{longest + 'X', "Base.1.8.AccessDenied\0"s}, false},
    };
    for (const auto& [ids, isCritical] : messageIds)
    {
        for (const std::string& id : ids)
        {
            EXPECT_EQ(isCriticalMessage(findRegistryMessage(id)), isCritical)
                << id;
            EXPECT_EQ(isCriticalEntry("ts " + id), isCritical) << id;
        }
    }
    const std::pair<std::vector<std::string>, bool> lines[] = {
        {{critical, " Base.1.0.InternalError",
          "ts  Base.1.0.InternalError,,a b, c \r"},
         true},
        {{"ts\tBase.1.0.InternalError", "ts \tBase.1.0.InternalError",
          critical + ' ', critical + '\r', "ts ,Base.1.0.InternalError",
          "1970-01-01T00:00:13.052207+00:00", "ts   ", ""},
         false},
    };
    for (const auto& [shapes, isCritical] : lines)
    {
        for (const std::string& line : shapes)
        {
            EXPECT_EQ(isCriticalEntry(line), isCritical) << line;
        }
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

// Files in walk order, descending path order: the verdict on them.
bool walk(const std::array<std::string, 4>& files)
{
    const fs::path directory = makeDirectory();
    const char* names[] = {"redfish.2", "redfish.10", "redfish.1", "redfish"};
    for (std::size_t file = 0; file < files.size(); ++file)
    {
        std::ofstream(directory / names[file]) << files.at(file);
    }
    const bool isCritical = hasCriticalEvent(directory);
    fs::remove_all(directory);
    return isCritical;
}

TEST(HasCriticalEvent, JudgesTheFirst1000LinesOfTheWalk)
{
    // Line 999 after a last line without newline, then the same entry as line
    // 1000: a line 1000 only if redfish.2 is read first.
    EXPECT_TRUE(walk({warnings(600), warnings(398) + ok, critical}));
    EXPECT_FALSE(walk({warnings(600), warnings(399) + ok, critical}));
    // A file of one byte is one line; empty lines count; a last line without
    // newline is judged, but not past the window; the CR stays.
    EXPECT_FALSE(walk({warnings(600), warnings(399), "\n", critical}));
    EXPECT_FALSE(walk({warnings(600), std::string(400, '\n') + critical}));
    EXPECT_TRUE(walk({"", "", "", warnings(1) + critical}));
    EXPECT_FALSE(walk({"", "", "", critical + "\r\n"}));
    // Lines longer than a read chunk; a registry prefix across the end of one.
    const std::string longArgument(100000, 'x');
    EXPECT_TRUE(
        walk({ok + ',' + longArgument + '\n' + critical + ',' + longArgument}));
    EXPECT_TRUE(
        walk({std::string(logReadChunkSize - 6, 'x') + '\n' + critical}));

    // Reading ends with the window, within a file (line 1000 is critical)
    // and before the next, each of which goes on for a terabyte.
    const fs::path directory = makeDirectory();
    std::ofstream(directory / "redfish.9") << warnings(1000) << critical;
    std::ofstream(directory / "redfish.8") << critical << '\n';
    fs::resize_file(directory / "redfish.9", 1ULL << 40);
    fs::resize_file(directory / "redfish.8", 1ULL << 40);
    EXPECT_FALSE(hasCriticalEvent(directory));
    fs::remove_all(directory);
}

TEST(HasCriticalEvent, ReadsEveryRegularFileNamedRedfish)
{
    const fs::path directory = makeDirectory();
    for (const char* name : {"Redfish", "redfis", "myredfish", "old.redfish"})
    {
        std::ofstream(directory / name) << critical; // not listed
    }
    // Listed, but neither opened nor waited on: a directory, a dangling link,
    // a link loop, a FIFO, a socket and an endless device.
    fs::create_directory(directory / "redfish.d");
    fs::create_symlink("nowhere", directory / "redfish.9");
    fs::create_symlink("redfish.8", directory / "redfish.8");
    mkfifo((directory / "redfish.p").c_str(), 0600);
    mknod((directory / "redfish.s").c_str(), S_IFSOCK | 0600, 0);
    fs::create_symlink("/dev/zero", directory / "redfish~");
    const int inotify = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(inotify, directory.c_str(), IN_OPEN);
    EXPECT_FALSE(hasCriticalEvent(directory));
    // One record: the listing's opening of the directory, without a name.
    std::array<char, 4096> records{};
    EXPECT_EQ(read(inotify, records.data(), records.size()),
              static_cast<ssize_t>(sizeof(inotify_event)));
    close(inotify);

    // Each is listed all the same, and the walk goes on past them to the
    // last file in it, redfish-old.
    std::ofstream(directory / "redfish-old") << critical << '\n';
    EXPECT_EQ(listEventLogFiles(directory).size(), 7U);
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    EXPECT_TRUE(hasCriticalEvent(directory));
    EXPECT_EQ(openFiles(), filesBefore); // every file closed again
    EXPECT_THROW(hasCriticalEvent(directory / "absent"), fs::filesystem_error);
    EXPECT_THROW(hasCriticalEvent(directory / "redfish-old"),
                 fs::filesystem_error);
    fs::remove_all(directory);
}

} // namespace
