#include "child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tidewatch::bench
{

namespace
{

using Clock = std::chrono::steady_clock;

std::string procFile(pid_t pid, const char* name)
{
    std::ifstream file("/proc/" + std::to_string(pid) + '/' + name);
    return {std::istreambuf_iterator<char>(file), {}};
}

} // namespace

Child::Child(const std::string& program, bool pipeOutput)
{
    std::array<int, 2> fds{-1, -1};
    if (pipeOutput && pipe2(fds.data(), O_CLOEXEC) != 0)
    {
        throw std::runtime_error("pipe2");
    }
    id = fork();
    if (id < 0)
    {
        throw std::runtime_error("fork");
    }
    if (id == 0)
    {
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(pipeOutput ? fds[1] : devNull, STDOUT_FILENO);
        execl(program.c_str(), program.c_str(), nullptr);
        _exit(127);
    }
    if (pipeOutput)
    {
        close(fds[1]);
        output = fds[0];
    }
}

Child::~Child()
{
    kill(id, SIGTERM);
    waitpid(id, nullptr, 0);
    if (output >= 0)
    {
        close(output);
    }
}

std::optional<std::string> Child::readLine(std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;)
    {
        if (const auto end = pending.find('\n'); end != std::string::npos)
        {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now());
        pollfd ready{output, POLLIN, 0};
        if (left.count() < 0 ||
            poll(&ready, 1, static_cast<int>(left.count())) <= 0)
        {
            return std::nullopt;
        }
        std::array<char, 4096> buffer;
        const ssize_t count = read(output, buffer.data(), buffer.size());
        if (count <= 0)
        {
            throw std::runtime_error("the child's output ended");
        }
        pending.append(buffer.data(), static_cast<std::size_t>(count));
    }
}

double cpuMicroseconds(pid_t pid)
{
    const std::string stat = procFile(pid, "stat");
    // Counted from the state, field 3, after the command name (which may
    // hold blanks): utime is field 14, stime 15, in clock ticks.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skipped;
    for (int field = 3; field < 14; ++field)
    {
        fields >> skipped;
    }
    double user = 0;
    double system = 0;
    fields >> user >> system;
    return (user + system) * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace tidewatch::bench
