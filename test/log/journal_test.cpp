#include "log/journal.hpp"

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <sdbusplus/server/transaction.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// On 32-bit ARM a 64-bit value passed for %llu in the wrong type shifts the
// arguments after it: the id must come out whole, the other fields intact
// and in their order.
TEST(LogJournal, SendsEveryFieldAndTheWhole64BitTransactionId)
{
    // Take journald's socket in the private mount namespace main() made.
    // The kernel ignores the type here, valgrind reads it all the same.
    ASSERT_EQ(mount(nullptr, "/", "none", MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", 0, nullptr), 0);
    std::filesystem::create_directories("/run/systemd/journal");
    const int journal = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un at{AF_UNIX, "/run/systemd/journal/socket"};
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bind(2)
    ASSERT_EQ(bind(journal, reinterpret_cast<sockaddr*>(&at), sizeof(at)), 0);
    // sdbusplus derives the id from a std::hash, 32 bits wide on armhf: set
    // one whose upper half would show if it were lost.
    sdbusplus::server::transaction::set_id(0x0123456789abcdefULL);

    tidewatch::logJournal(LOG_ERR, "read() failed");
    std::string record(4096, '\0');
    const ssize_t size =
        recv(journal, record.data(), record.size(), MSG_DONTWAIT);
    record.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    close(journal);
    // One FIELD=value line per field, the id 0x0123456789abcdef; libsystemd
    // may add the program's name.
    EXPECT_THAT(record, testing::MatchesRegex(
                            "CODE_FILE=[^\n]*/usr/include/phosphor-logging/"
                            "log\\.hpp\nCODE_LINE=77\nCODE_FUNC=helper_log\n"
                            "PRIORITY=3\nMESSAGE=read\\(\\) failed\n"
                            "TRANSACTION_ID=81985529216486895\n"
                            "(SYSLOG_IDENTIFIER=[^\n]*\n)?"));
}

int main(int argc, char** argv)
{
    // The test binds journald's socket path on a tmpfs of its own, out of the
    // machine's sight, in a mount namespace of its own; an ordinary user
    // first becomes root in a user namespace of its own. Where the kernel
    // refuses that, 77 is "skipped" to meson.
    const auto write = [](const char* path, const std::string& text) {
        return static_cast<bool>(std::ofstream(path) << text << std::flush);
    };
    const std::string user = "0 " + std::to_string(getuid()) + " 1";
    const std::string group = "0 " + std::to_string(getgid()) + " 1";
    if (unshare(CLONE_NEWNS) != 0 &&
        (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
         !write("/proc/self/setgroups", "deny") ||
         !write("/proc/self/uid_map", user) ||
         !write("/proc/self/gid_map", group)))
    {
        std::puts("journal test: needs root, or a user namespace, which the "
                  "kernel refuses");
        return 77;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
