#include "eventlog/scan.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace tidewatch
{

namespace
{

bool isRegularFile(const struct stat& status)
{
    return S_ISREG(status.st_mode);
}

// A log file open for reading, closed when done with; holds no descriptor
// when the entry is not a regular file or does not open.
class LogFile
{
  public:
    explicit LogFile(const std::filesystem::path& path)
    {
        // Asked before opening, as opening a device can have effects of its
        // own; asked again of what opened, in case the entry was replaced.
        // Non-blocking, so that nothing can hold the service in open().
        struct stat status = {};
        if (stat(path.c_str(), &status) != 0 || !isRegularFile(status))
        {
            return;
        }
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open(2)'s mode
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 && (fstat(fd, &status) != 0 || !isRegularFile(status)))
        {
            close(fd);
            fd = -1;
        }
    }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile()
    {
        if (fd >= 0)
        {
            close(fd);
        }
    }

    // The next bytes of the file; none at its end, after an error or when it
    // did not open.
    std::string_view read(std::span<char> buffer) const
    {
        const ssize_t count =
            fd < 0 ? 0 : ::read(fd, buffer.data(), buffer.size());
        return {buffer.data(), count > 0 ? static_cast<std::size_t>(count) : 0};
    }

  private:
    int fd = -1;
};

// The service's reader of the walk: the verdict is all it wants.
struct VerdictOnly
{
    void file(const std::filesystem::path& /*path*/) {}
    void bytes(std::string_view /*piece*/) {}
    void judged(const JudgedLine& /*line*/) {}
};

} // namespace

const std::filesystem::path& logDirectory()
{
    static const std::filesystem::path directory{"/var/log"};
    return directory;
}

std::vector<std::filesystem::path> listEventLogFiles(
    const std::filesystem::path& directory)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
    {
        if (entry.path().filename().native().starts_with(eventLogName))
        {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void readLogLines(
    const std::filesystem::path& path,
    const std::function<bool(std::string_view bytes, bool lineEnds)>& onBytes)
{
    const LogFile file(path);
    std::array<char, logReadChunkSize> chunk; // filled before each use
    bool lineOpen = false; // bytes of an unfinished line were handed on
    for (std::string_view bytes = file.read(chunk); !bytes.empty();
         bytes = file.read(chunk))
    {
        for (auto newline = bytes.find('\n'); newline != std::string_view::npos;
             newline = bytes.find('\n'))
        {
            if (!onBytes(bytes.substr(0, newline), true))
            {
                return;
            }
            bytes.remove_prefix(newline + 1);
        }
        lineOpen = !bytes.empty();
        if (lineOpen && !onBytes(bytes, false))
        {
            return;
        }
    }
    if (lineOpen)
    {
        onBytes({}, true);
    }
}

bool hasCriticalEvent(const std::filesystem::path& directory)
{
    VerdictOnly reader;
    return walkEventLog(directory, reader).critical;
}

bool hasCriticalEvent()
{
    return hasCriticalEvent(logDirectory());
}

} // namespace tidewatch
