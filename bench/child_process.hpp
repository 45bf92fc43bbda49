#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace tidewatch::bench
{

// A program run as a child, stdin from /dev/null and its stdout on a pipe
// when asked (else /dev/null); stopped with SIGTERM and reaped when done
// with. Failures throw std::runtime_error.
class Child
{
  public:
    Child(const std::string& program, bool pipeOutput);
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    pid_t pid() const noexcept
    {
        return id;
    }

    // The next line the child printed, or nothing once `limit` passed.
    std::optional<std::string> readLine(std::chrono::milliseconds limit);

  private:
    pid_t id = -1;
    int output = -1;
    std::string pending;
};

// CPU time used so far (user and system), from /proc.
double cpuMicroseconds(pid_t pid);

} // namespace tidewatch::bench
