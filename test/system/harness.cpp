#include "harness.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

namespace systemtest
{

namespace
{

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
    {
        result.push_back(line);
    }
    return result;
}

fs::path procFile(pid_t pid, const char* name)
{
    return fs::path("/proc") / std::to_string(pid) / name;
}

// Ended, whether or not its parent has reaped it yet.
bool isGone(pid_t pid)
{
    std::ifstream stat(procFile(pid, "stat"));
    std::string pidField;
    std::string comm;
    char state = 'X';
    // The command name is in parentheses and holds no blank for ours.
    stat >> pidField >> comm >> state;
    return !stat || state == 'Z' || state == 'X';
}

std::optional<int> inotifyDescriptor(pid_t pid)
{
    std::error_code error;
    for (fs::directory_iterator it(procFile(pid, "fd"), error);
         !error && it != fs::directory_iterator(); it.increment(error))
    {
        std::error_code linkError;
        if (fs::read_symlink(it->path(), linkError) == "anon_inode:inotify")
        {
            return std::stoi(it->path().filename().string());
        }
    }
    return std::nullopt;
}

bool hasQueuedRecords(pid_t pid, int descriptor)
{
    // Through syscall(): the C library's declarations lack C linkage here.
    const auto process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (process < 0)
    {
        return true;
    }
    const auto copy =
        static_cast<int>(syscall(SYS_pidfd_getfd, process, descriptor, 0));
    close(process);
    if (copy < 0)
    {
        return true;
    }
    int queued = 0;
    const int r = ioctl(copy, FIONREAD, &queued);
    close(copy);
    return r != 0 || queued != 0;
}

bool isBlockedInRead(pid_t pid, int descriptor)
{
    // "<number> <arg1> ..." while blocked in a system call, else "running".
    std::ifstream syscallFile(procFile(pid, "syscall"));
    long number = -1;
    std::string firstArgument;
    if (!(syscallFile >> number >> firstArgument) || number != SYS_read)
    {
        return false;
    }
    return std::stol(firstArgument, nullptr, 16) == descriptor;
}

// Holds the bus a test started in place of the sandbox's own.
std::optional<Process> replacementBus;

bool busAnswers()
{
    sd_bus* bus = nullptr;
    const char* uniqueName = nullptr;
    // The unique name needs the bus's answer to Hello: it is fully up.
    const bool answers = sd_bus_open_system(&bus) >= 0 &&
                         sd_bus_get_unique_name(bus, &uniqueName) >= 0;
    sd_bus_flush_close_unref(bus);
    return answers;
}

constexpr const char* ledManagerName = "xyz.openbmc_project.corvane.lampkeeper";

bool hasOwner(const char* name)
{
    sd_bus* bus = nullptr;
    sd_bus_creds* creds = nullptr;
    const bool owned = sd_bus_open_system(&bus) >= 0 &&
                       sd_bus_get_name_creds(bus, name, 0, &creds) >= 0;
    sd_bus_creds_unref(creds);
    sd_bus_flush_close_unref(bus);
    return owned;
}

} // namespace

std::string requiredEnvironment(const char* name)
{
    std::string value = environment(name);
    if (value.empty())
    {
        throw std::runtime_error(std::string(name) + " is not set");
    }
    return value;
}

bool insideSandbox()
{
    struct statfs var
    {};
    return !environment("SANDBOX_JOURNAL_DIR").empty() &&
           statfs("/var", &var) == 0 && var.f_type == TMPFS_MAGIC;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

fs::path scratchDirectory()
{
    static const fs::path directory = [] {
        std::string pattern = "/var/tmp/tidewatch-system.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
        {
            throw std::system_error(errno, std::generic_category(), pattern);
        }
        return fs::path(pattern);
    }();
    return directory;
}

void resetLogDirectory()
{
    if (!insideSandbox())
    {
        throw std::runtime_error("refusing to empty the host's /var/log");
    }
    fs::remove_all(logDirectory);
    fs::create_directory(logDirectory);
}

namespace
{

void writeOnce(const std::string& name, int flags, const std::string& text)
{
    const fs::path path = logDirectory / name;
    const int fd = open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
    {
        throw std::system_error(errno, std::generic_category(), path);
    }
    const ssize_t written =
        text.empty() ? 0 : write(fd, text.data(), text.size());
    close(fd);
    if (written != static_cast<ssize_t>(text.size()))
    {
        throw std::runtime_error("short write to " + path.string());
    }
}

} // namespace

void createEmptyFile(const std::string& name)
{
    writeOnce(name, O_CREAT | O_EXCL, "");
}

void appendText(const std::string& name, const std::string& text)
{
    writeOnce(name, O_CREAT | O_APPEND, text);
}

Process::Process(const std::vector<std::string>& argv, fs::path output) :
    id(-1), outputFile(std::move(output))
{
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
    {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const char* outputPath = outputFile.c_str();

    id = fork();
    if (id < 0)
    {
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (id == 0)
    {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outputPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in >= 0 && out >= 0 && dup2(in, STDIN_FILENO) >= 0 &&
            dup2(out, STDOUT_FILENO) >= 0 && dup2(out, STDERR_FILENO) >= 0)
        {
            // The child starts with stdin, stdout and stderr only.
            for (const int fd : {in, out})
            {
                if (fd > STDERR_FILENO)
                {
                    close(fd);
                }
            }
            execvp(arguments[0], arguments.data());
        }
        _exit(127);
    }
}

Process::Process(Process&& other) noexcept :
    id(other.id), outputFile(std::move(other.outputFile)),
    exitStatus(other.exitStatus)
{
    other.id = -1;
}

Process::~Process()
{
    stop();
}

std::optional<int> Process::waitForExit(std::chrono::milliseconds limit)
{
    waitFor(
        [this] {
        int status = 0;
        if (exitStatus || waitpid(id, &status, WNOHANG) != id)
        {
            return exitStatus.has_value();
        }
        exitStatus =
            WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
        },
        limit);
    return exitStatus;
}

void Process::stop()
{
    if (id <= 0 || exitStatus)
    {
        return;
    }
    kill(id, SIGTERM);
    if (!waitForExit())
    {
        kill(id, SIGKILL);
        waitForExit();
    }
}

std::string Process::output() const
{
    return readFile(outputFile);
}

Process startService(const std::vector<std::string>& launcher)
{
    static int started = 0;
    std::vector<std::string> argv = launcher;
    std::istringstream wrapper(environment("TIDEWATCH_TEST_WRAPPER"));
    for (std::string word; wrapper >> word;)
    {
        argv.push_back(word);
    }
    argv.push_back(requiredEnvironment("TIDEWATCH_EXE"));
    return Process(argv,
                   scratchDirectory() /
                       ("tidewatch." + std::to_string(++started) + ".out"));
}

std::vector<std::string> withoutInotify(const std::string& limitName)
{
    return {"unshare",
            "--user",
            "--map-root-user",
            "sh",
            "-c",
            "echo 0 >/proc/sys/user/" + limitName + " && exec \"$@\"",
            "sh"};
}

bool waitUntilWatching(pid_t service)
{
    // The queue is checked first: once it is empty, a sleep in read() that
    // is seen afterwards can only be the one after handling it.
    return waitFor([service] {
               const auto descriptor = inotifyDescriptor(service);
               return isGone(service) ||
                      (descriptor && !hasQueuedRecords(service, *descriptor) &&
                       isBlockedInRead(service, *descriptor));
           }) &&
           !isGone(service);
}

bool waitUntilWatching(const Process& service)
{
    return waitUntilWatching(service.pid());
}

std::size_t openDescriptors(pid_t pid)
{
    const fs::directory_iterator descriptors(procFile(pid, "fd"));
    return static_cast<std::size_t>(
        std::distance(fs::begin(descriptors), fs::end(descriptors)));
}

long residentKibibytes(pid_t pid)
{
    for (const std::string& line : lines(procFile(pid, "status")))
    {
        if (line.starts_with("VmRSS:"))
        {
            return std::stol(line.substr(6));
        }
    }
    throw std::runtime_error("no VmRSS for process " + std::to_string(pid));
}

LedManager::LedManager()
{
    static int made = 0;
    const std::string base =
        (scratchDirectory() / "led-manager.").string() + std::to_string(++made);
    controlFile = base + ".control";
    outputFile = base + ".out";
    setAnswer("answer");
    start();
}

void LedManager::setAnswer(const std::string& answer)
{
    // Replaced whole, so that a call never reads half a line.
    const fs::path next = controlFile.string() + ".next";
    std::ofstream(next) << answer << '\n';
    fs::rename(next, controlFile);
}

void LedManager::stop()
{
    process.reset();
    // The bus notices the exit on its own time; a call routed to the dead
    // connection meanwhile would wait for sd-bus's timeout.
    if (!waitFor([] { return !hasOwner(ledManagerName); }))
    {
        throw std::runtime_error("the LED manager's name was not released");
    }
}

void LedManager::start()
{
    process.emplace(
        std::vector<std::string>{requiredEnvironment("LED_MANAGER_STANDIN"),
                                 "--control", controlFile},
        outputFile);
    ++starts;
    const bool ready = waitFor([this] {
        std::size_t readyLines = 0;
        for (const std::string& line : lines(outputFile))
        {
            readyLines += line == "ready" ? 1U : 0U;
        }
        return readyLines == starts || isGone(process->pid());
    });
    if (!ready || isGone(process->pid()))
    {
        throw std::runtime_error(
            "LED manager stand-in did not start: " + readFile(outputFile));
    }
}

std::vector<bool> LedManager::calls() const
{
    constexpr std::string_view prefix = "SetHealthFault ";
    std::ifstream out(outputFile, std::ios::binary);
    out.seekg(static_cast<std::streamoff>(parsedBytes));
    // A line still being written has no newline yet: left for next time.
    for (std::string line; std::getline(out, line) && !out.eof();)
    {
        parsedBytes += line.size() + 1;
        if (line.starts_with(prefix))
        {
            received.push_back(line.substr(prefix.size()) == "1");
        }
    }
    return received;
}

bool LedManager::waitForCalls(std::size_t count) const
{
    return waitFor([this, count] { return calls().size() >= count; });
}

std::vector<JournalRecord> journalRecords(pid_t pid)
{
    return JournalFollower(pid).next();
}

JournalFollower::JournalFollower(pid_t pid)
{
    const std::string directory = requiredEnvironment("SANDBOX_JOURNAL_DIR");
    if (sd_journal_open_directory(&journal, directory.c_str(), 0) < 0)
    {
        throw std::runtime_error("cannot open the journal in " + directory);
    }
    // Watches the directory, so that next() also finds files journald
    // starts later.
    sd_journal_get_fd(journal);
    const std::string match = "_PID=" + std::to_string(pid);
    sd_journal_add_match(journal, match.c_str(), 0);
}

JournalFollower::~JournalFollower()
{
    sd_journal_close(journal);
}

std::vector<JournalRecord> JournalFollower::next()
{
    // journald handles every queued record before a sync request and then
    // rewrites this file, so what was sent before is readable after it.
    const fs::path synced = "/run/systemd/journal/synced";
    fs::remove(synced);
    kill(std::stoi(requiredEnvironment("SANDBOX_JOURNALD_PID")), SIGRTMIN + 1);
    if (!waitFor([&synced] { return fs::exists(synced); }))
    {
        throw std::runtime_error("journald did not sync");
    }

    sd_journal_process(journal);
    std::vector<JournalRecord> records;
    while (sd_journal_next(journal) > 0)
    {
        JournalRecord record;
        const void* data = nullptr;
        std::size_t length = 0;
        SD_JOURNAL_FOREACH_DATA(journal, data, length)
        {
            const std::string_view field(static_cast<const char*>(data),
                                         length);
            const auto equals = field.find('=');
            // Fields with a leading underscore are journald's own.
            if (!field.starts_with('_') && equals != std::string_view::npos)
            {
                record.emplace(field.substr(0, equals),
                               field.substr(equals + 1));
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

void stopBus()
{
    if (replacementBus)
    {
        replacementBus.reset();
        return;
    }
    const pid_t bus = std::stoi(requiredEnvironment("SANDBOX_DBUS_PID"));
    kill(bus, SIGTERM);
    if (!waitFor([bus] { return isGone(bus); }))
    {
        throw std::runtime_error("dbus-daemon did not stop");
    }
}

void startBus()
{
    replacementBus.emplace(
        std::vector<std::string>{
            "dbus-daemon",
            "--config-file=" + requiredEnvironment("SANDBOX_BUS_CONFIG"),
            "--nofork", "--nopidfile"},
        scratchDirectory() / "dbus-daemon.out");
    if (!waitFor(busAnswers))
    {
        throw std::runtime_error("the replacement bus did not come up");
    }
}

} // namespace systemtest
