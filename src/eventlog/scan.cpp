#include "eventlog/scan.hpp"

#include "eventlog/entry.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace tidewatch
{

namespace
{

constexpr std::string_view eventLogPrefix = "redfish";
constexpr std::size_t readChunkSize = 65536;

const std::filesystem::path& logDirectory()
{
    static const std::filesystem::path directory{"/var/log"};
    return directory;
}

// Owns a descriptor opened for reading, closed when the file is done.
class ReadDescriptor
{
  public:
    explicit ReadDescriptor(const std::filesystem::path& path) :
        // Non-blocking so that a FIFO among the log files cannot hold the
        // service in open() or read(); regular files ignore the flag.
        fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK))
    {}
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;
    ~ReadDescriptor()
    {
        if (fd >= 0)
        {
            close(fd);
        }
    }

    int get() const noexcept
    {
        return fd;
    }

  private:
    int fd;
};

// Reads one file to its end, judging its lines while lineNumber (shared by
// all files of the walk) is under the limit. `line` and `chunk` are the
// caller's so that one buffer serves every file. Returns true at the first
// critical line without reading further.
bool scanFile(const std::filesystem::path& path, std::uint64_t& lineNumber,
              std::string& line, std::span<char> chunk)
{
    const ReadDescriptor file(path);
    if (file.get() < 0)
    {
        return false;
    }

    line.clear();
    ssize_t count = 0;
    // A read error (a directory, say) ends the file like end of file.
    while ((count = read(file.get(), chunk.data(), chunk.size())) > 0)
    {
        // Past the window the bytes are still read, but nothing is judged.
        std::string_view rest(chunk.data(), static_cast<std::size_t>(count));
        while (lineNumber < evaluatedLineLimit && !rest.empty())
        {
            const auto newline = rest.find('\n');
            if (newline == std::string_view::npos)
            {
                line.append(rest);
                break;
            }
            line.append(rest.substr(0, newline));
            rest.remove_prefix(newline + 1);
            if (isCriticalEntry(line))
            {
                return true;
            }
            ++lineNumber;
            line.clear();
        }
    }

    // A last line without a final newline is a line too.
    if (!line.empty() && lineNumber < evaluatedLineLimit)
    {
        if (isCriticalEntry(line))
        {
            return true;
        }
        ++lineNumber;
    }
    return false;
}

} // namespace

std::vector<std::filesystem::path> listEventLogFiles(
    const std::filesystem::path& directory)
{
    std::vector<std::filesystem::path> files;
    // Any kind of entry is taken when its name matches; one that cannot be
    // read is passed over when the walk opens it.
    for (const auto& entry : std::filesystem::directory_iterator(directory))
    {
        if (entry.path().filename().native().starts_with(eventLogPrefix))
        {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::filesystem::path> listEventLogFiles()
{
    return listEventLogFiles(logDirectory());
}

bool hasCriticalEvent(const std::filesystem::path& directory)
{
    const auto files = listEventLogFiles(directory);
    std::uint64_t lineNumber = 0;
    std::string line;
    std::array<char, readChunkSize> chunk;
    // Descending path order: the oldest rotation first, "redfish" last.
    return std::any_of(files.rbegin(), files.rend(), [&](const auto& path) {
        return scanFile(path, lineNumber, line, chunk);
    });
}

bool hasCriticalEvent()
{
    return hasCriticalEvent(logDirectory());
}

} // namespace tidewatch
