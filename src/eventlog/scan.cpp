#include "eventlog/scan.hpp"

#include "eventlog/entry.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace tidewatch
{

namespace
{

constexpr std::string_view eventLogPrefix = "redfish";
constexpr std::size_t readChunkSize = 65536;

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

// One evaluation's state across the files of its walk. `line` and `chunk`
// serve every file; the chunk is left uninitialised on purpose.
struct Walk
{
    const ScanListener* listener = nullptr;
    std::uint64_t lineNumber = 0; // lines judged so far
    // Lowered past the deciding line when a listener keeps the walk going.
    std::uint64_t judgeLimit = evaluatedLineLimit;
    bool critical = false;
    std::string line;
    std::array<char, readChunkSize> chunk;
};

// Judges walk.line, line `number` of `path`. True when the walk ends here:
// at the first critical line, unless a listener wants the rest counted.
bool judgeLine(const std::filesystem::path& path, std::uint64_t number,
               Walk& walk)
{
    const EntryJudgement judgement = judgeEntry(walk.line);
    if (walk.listener != nullptr)
    {
        walk.listener->lineJudged(path, number, walk.line, judgement);
    }
    ++walk.lineNumber;
    walk.line.clear();
    if (judgement.critical)
    {
        walk.critical = true;
        walk.judgeLimit = walk.lineNumber;
        return walk.listener == nullptr;
    }
    return false;
}

// Reads one file to its end, judging its lines while walk.lineNumber is
// under walk.judgeLimit. Returns true when the walk ends in this file.
bool scanFile(const std::filesystem::path& path, Walk& walk)
{
    const ReadDescriptor file(path);
    const std::uint64_t firstLine = walk.lineNumber;
    std::uint64_t unjudgedLines = 0; // counted for a listener only
    bool unfinishedLine = false;
    walk.line.clear();
    ssize_t count = 0;
    // A read error (a directory, say) ends the file like end of file.
    while (file.get() >= 0 &&
           (count = read(file.get(), walk.chunk.data(), walk.chunk.size())) > 0)
    {
        std::string_view rest(walk.chunk.data(),
                              static_cast<std::size_t>(count));
        while (walk.lineNumber < walk.judgeLimit && !rest.empty())
        {
            const auto newline = rest.find('\n');
            if (newline == std::string_view::npos)
            {
                walk.line.append(rest);
                rest = {};
                break;
            }
            walk.line.append(rest.substr(0, newline));
            rest.remove_prefix(newline + 1);
            if (judgeLine(path, walk.lineNumber - firstLine + 1, walk))
            {
                return true;
            }
        }
        // Past the judged lines the bytes are still read; only a listener
        // has their lines counted.
        if (walk.listener != nullptr && !rest.empty())
        {
            unjudgedLines += static_cast<std::uint64_t>(
                std::count(rest.begin(), rest.end(), '\n'));
            unfinishedLine = rest.back() != '\n';
        }
    }

    // A last line without a final newline is a line too.
    if (!walk.line.empty() && walk.lineNumber < walk.judgeLimit &&
        judgeLine(path, walk.lineNumber - firstLine + 1, walk))
    {
        return true;
    }
    if (walk.listener != nullptr)
    {
        const std::uint64_t judged = walk.lineNumber - firstLine;
        walk.listener->fileRead(
            path, judged + unjudgedLines + (unfinishedLine ? 1 : 0), judged);
    }
    return false;
}

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

bool hasCriticalEvent(const std::filesystem::path& directory,
                      const ScanListener* listener)
{
    const auto files = listEventLogFiles(directory);
    Walk walk;
    walk.listener = listener;
    // Descending path order: the oldest rotation first, "redfish" last.
    return std::any_of(
               files.rbegin(), files.rend(),
               [&walk](const auto& path) { return scanFile(path, walk); }) ||
           walk.critical;
}

bool hasCriticalEvent()
{
    return hasCriticalEvent(logDirectory());
}

} // namespace tidewatch
