#include "log/journal.hpp"

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <sdbusplus/server/transaction.hpp>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace tidewatch
{
namespace
{

constexpr const char* journalSocket = "/run/systemd/journal/socket";

// Takes journald's place for this process: a private mount namespace with a
// fresh /run, and a datagram socket where sd-journal sends its records.
// Returns the socket, or -1 when namespaces need privileges we lack.
int listenAsJournal()
{
    if (unshare(CLONE_NEWNS) != 0)
    {
        return -1;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0 ||
        mkdir("/run/systemd", 0755) != 0 ||
        mkdir("/run/systemd/journal", 0755) != 0)
    {
        ADD_FAILURE() << "cannot lay out /run: " << std::strerror(errno);
        return -1;
    }
    const int socketFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, journalSocket);
    if (bind(socketFd, reinterpret_cast<const sockaddr*>(&address),
             sizeof(address)) != 0)
    {
        ADD_FAILURE() << "cannot bind " << journalSocket;
        return -1;
    }
    return socketFd;
}

// One native-protocol record: a FIELD=value line per field.
std::map<std::string, std::string> receiveRecord(int socketFd)
{
    std::array<char, 4096> datagram{};
    const ssize_t size =
        recv(socketFd, datagram.data(), datagram.size(), MSG_DONTWAIT);
    std::map<std::string, std::string> fields;
    std::istringstream lines(
        std::string(datagram.data(), size > 0 ? static_cast<size_t>(size) : 0));
    for (std::string line; std::getline(lines, line);)
    {
        const auto equals = line.find('=');
        fields[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return fields;
}

// On 32-bit ARM a 64-bit value passed for %llu in the wrong type shifts
// every later argument; the id must come out whole, and the fields before
// it untouched.
TEST(LogJournal, SendsEveryFieldAndTheWhole64BitTransactionId)
{
    const int socketFd = listenAsJournal();
    if (socketFd < 0 && !HasFailure())
    {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    ASSERT_GE(socketFd, 0);
    const std::uint64_t id = sdbusplus::server::transaction::get_id();
    // An id that fits in 32 bits could not show a lost upper half.
    ASSERT_GT(id, std::numeric_limits<std::uint32_t>::max());

    logJournal(LOG_ERR, "read() failed");
    auto fields = receiveRecord(socketFd);
    close(socketFd);

    EXPECT_EQ(fields["TRANSACTION_ID"], std::to_string(id));
    EXPECT_EQ(fields["PRIORITY"], "3");
    EXPECT_EQ(fields["MESSAGE"], "read() failed");
    EXPECT_EQ(fields["CODE_LINE"], "77");
    EXPECT_EQ(fields["CODE_FUNC"], "helper_log");
    EXPECT_TRUE(
        fields["CODE_FILE"].ends_with("/usr/include/phosphor-logging/log.hpp"));
}

} // namespace
} // namespace tidewatch
